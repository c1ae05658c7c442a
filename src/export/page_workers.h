// Workers that scale and compress a stack's pages while its writer pulls the next frames:
// each page on its own (the bytes of a page depend on nothing but its samples), handed
// back in the order they came, so the file is the same for any number of workers.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "export/export_options.h"
#include "export/frame_image.h"
#include "export/page_encoder.h"

namespace qf {

class PageEncoders {
public:
    struct Page {
        FrameImage frame;     ///< the samples as pulled, until encoded
        EncodedPage encoded;  ///< the page's strips, once done
        Status status;        ///< why it could not be encoded
        bool done = false;
    };

    /// `workers` threads encoding pages as `options` says, normalized first when `normalize`.
    PageEncoders(int workers, const ExportOptions& options, bool normalize);
    /// Lets the pages not started go and waits for the ones being encoded.
    ~PageEncoders();
    PageEncoders(const PageEncoders&) = delete;
    PageEncoders& operator=(const PageEncoders&) = delete;

    /// Hands a page to the workers.
    void Submit(FrameImage frame);
    /// Pages handed and not taken yet.
    std::size_t waiting();
    /// The oldest page not taken, once it is done. At least one must be waiting.
    std::shared_ptr<Page> TakeOldest();

private:
    void Work();
    void Encode(Page& page) const;

    const ExportOptions options_;
    const bool normalize_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::shared_ptr<Page>> todo_;   ///< not started, oldest first
    std::deque<std::shared_ptr<Page>> order_;  ///< not taken, oldest first
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace qf
