#include "control/orx_format.h"

#include <bit>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/little_endian.h"

namespace qf {
namespace {

std::string Format(const char* fmt, unsigned long long a, unsigned long long b = 0,
                   unsigned long long c = 0) {
    char text[256];
    std::snprintf(text, sizeof text, fmt, a, b, c);
    return text;
}

Error Invalid(std::string message) { return Fail(ErrorKind::kInvalid, std::move(message)); }

Status CheckFields(const OrxHeader& h, const std::uint8_t* bytes) {
    if (h.version != kOrxVersion) {
        return Invalid(Format("unsupported ORX version %llu (this program reads version 1)", h.version));
    }
    if (h.headerLength < kOrxHeaderSize) return Invalid(Format("header length %llu is below 32", h.headerLength));
    if (h.width < 1) return Invalid(Format("width %llu is out of range (1 to 32767)", GetLe16(bytes + 12)));
    if (h.height < 1) return Invalid(Format("height %llu is out of range (1 to 32767)", GetLe16(bytes + 14)));
    if (h.frameCount < 1 || h.frameCount > kOrxMaxFrames) {
        return Invalid(Format("frame count %llu is out of range (1 to 32768)", h.frameCount));
    }
    if (h.flags & ~kOrxHalfResolution) {
        return Invalid(Format("unknown flags 0x%04llX (only bit 0 is defined)", h.flags));
    }
    for (std::size_t at = 22; at < kOrxHeaderSize; ++at) {
        if (bytes[at] != 0) return Invalid(Format("reserved header byte %llu is not 0", at));
    }
    return Status::Ok();
}

}  // namespace

std::int16_t OrxHeader::storedWidth() const {
    return halfResolution() ? static_cast<std::int16_t>(width / 2) : width;
}
std::int16_t OrxHeader::storedHeight() const {
    return halfResolution() ? static_cast<std::int16_t>(height / 2) : height;
}
std::uint64_t OrxHeader::storedSamples() const {
    return static_cast<std::uint64_t>(std::max<std::int16_t>(storedWidth(), 0)) *
           static_cast<std::uint64_t>(std::max<std::int16_t>(storedHeight(), 0));
}
std::uint64_t OrxHeader::fileLength() const {
    return headerLength + std::uint64_t{frameCount} * storedSamples() * 2;
}

std::array<std::uint8_t, kOrxHeaderSize> SerializeOrxHeader(const OrxHeader& h) {
    std::array<std::uint8_t, kOrxHeaderSize> b{};
    std::memcpy(b.data(), kOrxSignature.data(), kOrxSignature.size());
    PutLe16(&b[8], h.version);
    PutLe16(&b[10], h.headerLength);
    PutLe16(&b[12], static_cast<std::uint16_t>(h.width));
    PutLe16(&b[14], static_cast<std::uint16_t>(h.height));
    PutLe32(&b[16], h.frameCount);
    PutLe16(&b[20], h.flags);
    return b;
}

Result<OrxHeader> ParseOrxHeaderFields(const std::uint8_t* bytes, std::size_t size) {
    std::size_t signatureBytes = std::min(size, kOrxSignature.size());
    if (size == 0) return Invalid("empty file, not an ORX file");
    if (std::memcmp(bytes, kOrxSignature.data(), signatureBytes) != 0) {
        return Invalid("not an ORX file (signature does not match)");
    }
    if (size < kOrxHeaderSize) {
        return Invalid(Format("truncated header: %llu bytes, an ORX header needs 32", size));
    }
    OrxHeader h;
    h.version = GetLe16(bytes + 8);
    h.headerLength = GetLe16(bytes + 10);
    h.width = static_cast<std::int16_t>(GetLe16(bytes + 12));
    h.height = static_cast<std::int16_t>(GetLe16(bytes + 14));
    h.frameCount = GetLe32(bytes + 16);
    h.flags = GetLe16(bytes + 20);
    if (Status fields = CheckFields(h, bytes); !fields.ok()) return fields.error();
    return h;
}

namespace {

Error WrongLength(const OrxHeader& h, std::uint64_t fileLength) {
    const std::uint64_t expected = h.fileLength();
    const std::string frames = h.frameCount == 1 ? " frame" : " frames";
    return Invalid(Format(fileLength < expected ? "truncated: %llu bytes, expected %llu for %llu"
                                                : "too long: %llu bytes, expected %llu for %llu",
                          fileLength, expected, h.frameCount) + frames);
}

}  // namespace

Result<OrxHeader> ParseOrxHeader(const std::uint8_t* bytes, std::size_t size, std::uint64_t fileLength) {
    Result<OrxHeader> h = ParseOrxHeaderFields(bytes, size);
    if (!h.ok()) return h;
    if (fileLength != h.value().fileLength()) return WrongLength(h.value(), fileLength);
    return h;
}

Result<OrxHeader> ParseOrxHeaderSalvaging(const std::uint8_t* bytes, std::size_t size, std::uint64_t fileLength,
                                          std::optional<OrxCutOff>* cutOff) {
    cutOff->reset();
    Result<OrxHeader> parsed = ParseOrxHeaderFields(bytes, size);
    if (!parsed.ok()) return parsed;
    OrxHeader h = parsed.value();
    if (fileLength == h.fileLength()) return h;
    const std::uint64_t frameBytes = h.storedSamples() * 2;
    const std::uint64_t complete =
        fileLength > h.fileLength() || frameBytes == 0 || fileLength < h.headerLength
            ? 0 : (fileLength - h.headerLength) / frameBytes;
    if (complete == 0) return WrongLength(h, fileLength);  // too long, or not one whole frame
    *cutOff = OrxCutOff{static_cast<std::uint32_t>(complete), h.frameCount};
    h.frameCount = static_cast<std::uint32_t>(complete);
    return h;
}

}  // namespace qf
