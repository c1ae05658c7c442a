// A libtiff handle that writes straight into an OutputFile's temporary, with libtiff's
// messages kept for the handle instead of printed. Shared by the export's TIFF writers.
#pragma once

#include <tiffio.h>

#include <memory>
#include <string>

#include "platform/output_file.h"

namespace qf {

/// libtiff's messages for one handle, kept instead of printed: the first error in words.
struct TiffMessages {
    std::string first;
    bool failed = false;
};

/// Open options that keep one handle's errors in `messages` and drop its warnings; the
/// caller frees them (TIFFOpenOptionsFree) once the handle is open.
TIFFOpenOptions* KeepingMessages(TiffMessages& messages);

class TiffHandle {
public:
    /// Starts a TIFF (BigTIFF when `bigTiff`) in `out`; on failure `out` holds why
    /// (kCannotCreate) and open() is false.
    TiffHandle(OutputFile& out, bool bigTiff);
    /// Closes without judging: use Close() to have the outcome recorded.
    ~TiffHandle();
    TiffHandle(const TiffHandle&) = delete;
    TiffHandle& operator=(const TiffHandle&) = delete;

    bool open() const { return tif_ != nullptr; }
    TIFF* tif() const { return tif_; }
    /// Closes the handle; a failure (`written` false, a libtiff error, a failed write)
    /// goes to the OutputFile as kWriteFailed in words.
    void Close(bool written);

private:
    struct State;
    OutputFile& out_;
    std::unique_ptr<State> state_;
    TIFF* tif_ = nullptr;
};

}  // namespace qf
