#include "control/orx_control.h"

#include <bit>
#include <cstdio>

#include "platform/directory.h"
#include "platform/file_io.h"

namespace qf {
namespace {

std::string Text(const char* format, auto... values) {
    char text[256];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

void SetI2(VARIANT* v, std::int16_t value) {
    if (!v) return;
    v->vt = VT_I2;
    v->iVal = value;
}
void SetI4(VARIANT* v, std::int32_t value) {
    if (!v) return;
    v->vt = VT_I4;
    v->lVal = value;
}
void SetBool(VARIANT* v, bool value) {
    if (!v) return;
    v->vt = VT_BOOL;
    v->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

}  // namespace

OrxControl::~OrxControl() { Close(); }

void OrxControl::Close() {
    CloseFile(fd_);
    fd_ = -1;
    frame_ = 0;
    cutOff_.reset();
}

void SalvageLog::Add(const std::string& identity, const OrxCutOff& cut) {
    std::lock_guard lock(mutex_);
    files_[identity] = cut;
}

std::optional<OrxCutOff> SalvageLog::Find(const std::string& identity) const {
    std::lock_guard lock(mutex_);
    const auto it = files_.find(identity);
    if (it == files_.end()) return std::nullopt;
    return it->second;
}

namespace {

// The header of the file open as `fd`, checked against the file's length (when salvaging,
// a file cut off inside its frames passes with its complete ones). The file is examined
// through the descriptor the control keeps, so what was checked is what is read.
Result<OrxHeader> ReadHeader(int fd, bool salvage, std::optional<OrxCutOff>* cutOff) {
    Result<FileFacts> facts = FactsOf(fd);
    if (!facts.ok()) return Fail(ErrorKind::kCannotRead, "cannot read: " + facts.message());
    if (std::string why = NotADataFileReason(facts.value().type); !why.empty()) return Fail(ErrorKind::kNotAFile, why);
    std::uint8_t head[kOrxHeaderSize] = {};
    Result<std::size_t> got = ReadAt(fd, 0, head, sizeof head);
    if (!got.ok()) return Fail(ErrorKind::kCannotRead, "cannot read: " + got.message());
    if (salvage) return ParseOrxHeaderSalvaging(head, got.value(), facts.value().size, cutOff);
    return ParseOrxHeader(head, got.value(), facts.value().size);
}

}  // namespace

Status OrxControl::LoadFile(const std::string& path) {
    Close();
    Result<int> opened = OpenToRead(path);
    if (!opened.ok()) return Fail(ErrorKind::kCannotRead, "cannot open: " + opened.message());
    const int fd = opened.value();
    Result<OrxHeader> header = ReadHeader(fd, salvage_, &cutOff_);
    if (!header.ok()) {
        CloseFile(fd);
        return header.error();
    }
    header_ = header.value();
    fd_ = fd;
    frame_ = 0;
    if (cutOff_ && log_) {
        if (Result<FileFacts> facts = FactsOf(fd); facts.ok()) log_->Add(facts.value().identity, *cutOff_);
    }
    return Status::Ok();
}

// A failure with its reason, the way a dispatch call reports one.
HRESULT OrxControl::Raise(HRESULT status, const std::string& reason, EXCEPINFO* excep) {
    if (excep) {
        excep->scode = status;
        excep->bstrDescription = SysAllocStringLen(reason.data(), static_cast<std::uint32_t>(reason.size()));
    }
    return DISP_E_EXCEPTION;
}

HRESULT OrxControl::DataFailure(HRESULT status, std::string reason) {
    dataError_ = std::move(reason);
    return status;
}

HRESULT OrxControl::GetImageData(VARIANT* out) {
    dataError_.clear();
    if (!out) return DataFailure(E_POINTER, "no place to put the frame");
    VariantClear(out);
    if (fd_ < 0) return DataFailure(E_FAIL, "no data file is loaded");
    const std::uint64_t samples = header_.storedSamples();
    // Every element is read from the file, or the array is destroyed unseen.
    SAFEARRAY* array = SafeArrayCreateVectorToFill(VT_I2, 0, static_cast<std::uint32_t>(samples));
    if (!array) {
        return DataFailure(E_OUTOFMEMORY, Text("out of memory: a %d x %d frame",
                                               int{header_.storedWidth()}, int{header_.storedHeight()}));
    }
    const std::uint64_t offset = header_.headerLength + frame_ * samples * 2;
    const std::uint64_t bytes = samples * 2;
    Result<std::size_t> read = bytes > 0 ? ReadAt(fd_, offset, array->pvData, bytes) : Result<std::size_t>(0);
    if (!read.ok() || read.value() != bytes) {
        SafeArrayDestroy(array);
        if (!read.ok()) return DataFailure(E_FAIL, "cannot read the file: " + read.message());
        Result<FileFacts> facts = FactsOf(fd_);
        const unsigned long long size = facts.ok() ? facts.value().size : 0;
        const unsigned long long end = offset + bytes;
        return DataFailure(E_FAIL, Text("the file shrank while being read: frame %u ends at byte "
                                        "%llu, past its end at byte %llu",
                                        frame_, end, size));
    }
    if constexpr (std::endian::native == std::endian::big) {
        auto* v = static_cast<std::uint16_t*>(array->pvData);
        for (std::uint64_t i = 0; i < samples; ++i) v[i] = static_cast<std::uint16_t>(v[i] << 8 | v[i] >> 8);
    }
    out->vt = VT_ARRAY | VT_I2;
    out->parray = array;
    return S_OK;
}

bool OrxControl::NextFrame() {
    if (fd_ < 0) return false;
    frame_ = frame_ + 1 < header_.frameCount ? frame_ + 1 : 0;
    return true;
}

HRESULT OrxControl::Invoke(DISPID id, VARIANT* args, unsigned argCount, VARIANT* result,
                           EXCEPINFO* excep) {
    switch (id) {
        case kDispLoadFile:
        case kDispGetImageData:
            if (argCount != 1) return DISP_E_BADPARAMCOUNT;
            if (result) VariantInit(result);
            return InvokeWithArgument(id, args[0], result, excep);
        case kDispStartDriver: case kDispGetFrameNumber: case kDispGetImageWidth:
        case kDispGetImageHeight: case kDispIsFullResolution: case kDispNextFrame:
        case kDispGetSettleTime:
            if (argCount != 0) return DISP_E_BADPARAMCOUNT;
            if (result) VariantInit(result);
            return InvokeQuery(id, result);
        default:
            return DISP_E_MEMBERNOTFOUND;
    }
}

HRESULT OrxControl::InvokeWithArgument(DISPID id, VARIANT& arg, VARIANT* result,
                                       EXCEPINFO* excep) {
    if (id == kDispLoadFile) {
        if (arg.vt != VT_BSTR) return DISP_E_TYPEMISMATCH;
        const Status loaded = LoadFile(std::string(arg.bstrVal, SysStringLen(arg.bstrVal)));
        SetI4(result, loaded.ok() ? 0 : 1);
        if (loaded.ok()) return S_OK;
        return Raise(E_FAIL, loaded.message(), excep);
    }
    if (arg.vt != (VT_BYREF | VT_VARIANT) || !arg.pvarVal) return DISP_E_TYPEMISMATCH;
    const HRESULT status = GetImageData(arg.pvarVal);
    if (FAILED(status)) return Raise(status, dataError_, excep);
    SetI4(result, status);
    return S_OK;
}

HRESULT OrxControl::InvokeQuery(DISPID id, VARIANT* result) {
    const bool loaded = fd_ >= 0;
    switch (id) {
        case kDispStartDriver: SetBool(result, true); return S_OK;  // nothing to prepare
        case kDispGetFrameNumber: SetI2(result, FrameNumber()); return S_OK;
        case kDispGetImageWidth: SetI2(result, loaded ? header_.width : std::int16_t{0}); return S_OK;
        case kDispGetImageHeight: SetI2(result, loaded ? header_.height : std::int16_t{0}); return S_OK;
        case kDispIsFullResolution: SetBool(result, !loaded || !header_.halfResolution()); return S_OK;
        case kDispNextFrame: SetBool(result, NextFrame()); return S_OK;
        case kDispGetSettleTime: SetI4(result, 0); return S_OK;  // files need no settling
        default: return DISP_E_MEMBERNOTFOUND;
    }
}

}  // namespace qf
