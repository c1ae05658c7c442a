// The system's own file layer, declared once for both halves: file_io_posix.cpp defines it
// on POSIX systems, file_io_windows.cpp on Windows. Only those two include this.
#pragma once

#include "platform/file_layer.h"

namespace qf {

class SystemFileLayer final : public FileLayer {
public:
    Result<int> OpenFolder(const std::string& path) override;
    Result<int> OpenSubfolder(int parentFd, const std::string& name) override;
    std::string PathThroughFolder(int folderFd, const std::string& name, const std::string& shownPath) override;
    Result<int> OpenToRead(const std::string& path) override;
    Result<int> OpenToReadAt(int folderFd, const std::string& name) override;
    Result<int> CreateNewFile(int folderFd, const std::string& name) override;
    Result<int> OpenStreamToWrite(const std::string& path, std::chrono::milliseconds limit,
                                  const std::function<bool()>& stop) override;
    void CloseFile(int fd) override;
    Status CloseChecked(int fd) override;
    Result<std::size_t> ReadSome(int fd, std::uint64_t offset, void* into, std::size_t size) override;
    Result<std::size_t> WriteSome(int fd, std::uint64_t offset, const void* data, std::size_t size) override;
    Result<std::size_t> WriteStreamSome(int fd, const void* data, std::size_t size) override;
    Status FlushToDisk(int fd) override;
    Status SyncFolder(int folderFd) override;
    Result<FileFacts> FactsOf(int fd) override;
    Result<FileFacts> FactsAt(int folderFd, const std::string& name, bool followLinks) override;
    bool MayWrite(int folderFd, const std::string& name) override;
    void CarryOverOwnership(int fd, const FileFacts& replaced) override;
    Result<std::vector<std::string>> ListNames(int folderFd) override;
    Status RenameOver(int folderFd, const std::string& from, const std::string& to, bool writeThrough) override;
    Status LinkAsNew(int folderFd, const std::string& from, const std::string& to) override;
    bool RemoveFile(int folderFd, const std::string& name) override;
    Status MakeFolder(const std::string& path) override;
    Status MakeFolderAt(int parentFd, const std::string& name) override;
    long CurrentProcessId() override;
    std::string HostName() override;
    std::string ProcessSpace() override;
    bool ProcessIsGone(long pid) override;
    FreeMemory AvailableMemory() override;
    int CoresAllowed() override;
    void TuneAllocatorForFrames() override;
    bool StandardErrorIsTerminal() override;
    int StandardErrorColumns() override;
    void UseUtf8Console() override;
    void RestoreConsole() override;
    bool SetStandardOutputBinary(bool binary) override;
    void WatchStopSignals(void (*onStop)(int signal)) override;
    void UnwatchStopSignals() override;
    void EndBySignal(int signal) override;
};

}  // namespace qf
