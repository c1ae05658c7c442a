#include "export/page_workers.h"

#include "export/tiff_export.h"

namespace qf {

PageEncoders::PageEncoders(int workers, const ExportOptions& options, bool normalize)
    : options_(options), normalize_(normalize) {
    for (int i = 0; i < workers; ++i) threads_.emplace_back([this] { Work(); });
}

PageEncoders::~PageEncoders() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    for (std::thread& t : threads_) t.join();
}

void PageEncoders::Submit(FrameImage frame) {
    auto page = std::make_shared<Page>();
    page->frame = std::move(frame);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        todo_.push_back(page);
        order_.push_back(std::move(page));
    }
    changed_.notify_all();
}

std::size_t PageEncoders::waiting() {
    std::lock_guard<std::mutex> lock(mutex_);
    return order_.size();
}

std::shared_ptr<PageEncoders::Page> PageEncoders::TakeOldest() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return order_.front()->done; });
    std::shared_ptr<Page> page = std::move(order_.front());
    order_.pop_front();
    return page;
}

void PageEncoders::Work() {
    for (;;) {
        std::shared_ptr<Page> page;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return stopping_ || !todo_.empty(); });
            if (stopping_) return;
            page = std::move(todo_.front());
            todo_.pop_front();
        }
        Encode(*page);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            page->done = true;
        }
        changed_.notify_all();
    }
}

void PageEncoders::Encode(Page& page) const {
    const FrameImage& f = page.frame;
    const std::uint16_t* samples = f.samples.get();
    Result<std::unique_ptr<std::uint16_t[]>> scaled = std::unique_ptr<std::uint16_t[]>();
    if (normalize_) {
        scaled = NormalizedSamples(f);
        if (!scaled.ok()) {
            page.status = scaled.status();
            return;
        }
        samples = scaled.value().get();
    }
    page.status = EncodePage(samples, static_cast<std::uint32_t>(f.width), static_cast<std::uint32_t>(f.height),
                             options_, page.encoded);
    page.frame = FrameImage();  // its samples are in the encoded page now
}

}  // namespace qf
