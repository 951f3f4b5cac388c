#pragma once

#include <filesystem>
#include <string_view>

namespace dravlopro {

// Replaces a file's content in one step: the new bytes go to a temporary
// file beside it, which is then renamed over it, so readers see the old
// bytes or the new ones, never a part. Through a symbolic link, the file it
// names is replaced and the link stays. With keepPermissions, an existing
// file's permission bits carry over. False, with the file as it was, when
// writing or renaming failed.
bool ReplaceFileContents(const std::filesystem::path& file, std::string_view bytes,
                         bool keepPermissions);

}  // namespace dravlopro
