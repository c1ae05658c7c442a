#include "tools/orx_writer.h"

#include <bit>
#include <string>
#include <vector>

#include "platform/little_endian.h"

namespace qf {

struct OrxWriter::Impl {
    Impl(OutputTarget target, const OrxHeader& h) : file(std::move(target)), header(h) {}
    OutputFile file;
    OrxHeader header;
    std::uint32_t framesWritten = 0;
    std::vector<std::uint8_t> bytes;
};

OrxWriter::OrxWriter(OutputTarget target, const OrxHeader& header)
    : impl_(std::make_unique<Impl>(std::move(target), header)) {
    auto head = SerializeOrxHeader(header);
    impl_->file.Write(head.data(), head.size());
    const std::vector<std::uint8_t> extra(header.headerLength > kOrxHeaderSize
                                              ? header.headerLength - kOrxHeaderSize
                                              : 0);
    impl_->file.Write(extra.data(), extra.size());
}

OrxWriter::~OrxWriter() = default;

bool OrxWriter::WriteFrame(const std::uint16_t* samples) {
    const std::size_t n = impl_->header.storedSamples();
    ++impl_->framesWritten;
    if constexpr (std::endian::native == std::endian::little) {
        impl_->file.Write(samples, n * 2);
    } else {
        impl_->bytes.resize(n * 2);
        for (std::size_t i = 0; i < n; ++i) PutLe16(&impl_->bytes[2 * i], samples[i]);
        impl_->file.Write(impl_->bytes.data(), impl_->bytes.size());
    }
    return impl_->file.ok();
}

Status OrxWriter::FinishCutOff(const std::uint16_t* partial, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        std::uint8_t le[2];
        PutLe16(le, partial[i]);
        impl_->file.Write(le, sizeof le);
    }
    return impl_->file.Commit();
}

Status OrxWriter::Finish() {
    if (impl_->framesWritten != impl_->header.frameCount) {
        impl_->file.Fail(ErrorKind::kWriteFailed, std::to_string(impl_->framesWritten) + " of " +
                                                      std::to_string(impl_->header.frameCount) +
                                                      " frames given");
    }
    return impl_->file.Commit();
}

}  // namespace qf
