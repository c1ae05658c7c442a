// What the dialog's test needs of the core, apart from <windows.h> (the core's COM
// stand-ins do not mix with it): data files, quillfen-cli's outputs, temporary names.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qf::win::test {

/// A synthetic beam of `frames` frames, width x height.
bool WriteBeam(const std::string& path, std::uint32_t frames, int width, int height);
/// Runs quillfen-cli convert --kind `kind` on `folder`; its exit status, stderr in `err`.
int ConvertWithCli(const std::string& folder, const std::string& kind, std::string& err);
/// True for the name of one of our temporary files.
bool IsTemporary(const std::string& name);

}  // namespace qf::win::test
