// Our acquisition control: it loads ORX files, steps their frames and hands the current
// frame out as a VT_I2 SAFEARRAY. One frame in memory at a time.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "control/dispatch.h"
#include "control/orx_format.h"

namespace qf {

/// The files a salvaging control took cut off, by their identity (FileFacts::identity), as
/// the control may be given any path to a file; shared by the controls of one run (each
/// worker has its own control), so any thread may add.
class SalvageLog {
public:
    void Add(const std::string& identity, const OrxCutOff& cut);
    std::optional<OrxCutOff> Find(const std::string& identity) const;

private:
    mutable std::mutex mutex_;
    std::map<std::string, OrxCutOff> files_;
};

class OrxControl : public IDispatchTarget {
public:
    OrxControl() = default;
    /// A salvaging control: a file cut off inside its frames (an aborted acquisition)
    /// loads with its complete frames, and `log` (when given) learns of it. Otherwise such
    /// a file is refused, as by default.
    explicit OrxControl(bool salvage, std::shared_ptr<SalvageLog> log = nullptr)
        : salvage_(salvage), log_(std::move(log)) {}
    ~OrxControl() override;
    OrxControl(const OrxControl&) = delete;
    OrxControl& operator=(const OrxControl&) = delete;

    HRESULT Invoke(DISPID id, VARIANT* args, unsigned argCount, VARIANT* result,
                   EXCEPINFO* excep) override;

    /// Makes `path` the current file at frame 0 after checking all of it; when it is not
    /// a valid ORX file, why not, and no file is current.
    Status LoadFile(const std::string& path);
    const OrxHeader* header() const { return fd_ >= 0 ? &header_ : nullptr; }
    /// For the file loaded, when it was cut off (salvaging only): its complete frames,
    /// which its header() counts, and the frames its header on disk counts.
    const std::optional<OrxCutOff>& cutOff() const { return cutOff_; }
    std::int16_t FrameNumber() const { return static_cast<std::int16_t>(frame_); }
    /// Fills `out` with the current frame; an empty variant when no file is current or
    /// the frame cannot be read, and DataError() says why.
    HRESULT GetImageData(VARIANT* out);
    const std::string& DataError() const { return dataError_; }
    bool NextFrame();

private:
    void Close();
    HRESULT InvokeWithArgument(DISPID id, VARIANT& arg, VARIANT* result, EXCEPINFO* excep);
    HRESULT DataFailure(HRESULT status, std::string reason);
    static HRESULT Raise(HRESULT status, const std::string& reason, EXCEPINFO* excep);
    HRESULT InvokeQuery(DISPID id, VARIANT* result);

    bool salvage_ = false;
    std::shared_ptr<SalvageLog> log_;
    std::optional<OrxCutOff> cutOff_;
    int fd_ = -1;
    OrxHeader header_;
    std::uint32_t frame_ = 0;
    std::string dataError_;
};

}  // namespace qf
