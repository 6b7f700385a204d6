#include "profiles/FileList.h"

#include <limits>
#include <stdexcept>

namespace corvane {

uint32_t tEntryFolder::AddName(std::string_view name) {
    const size_t room = name.size() < 255 ? 1 + name.size() : 5 + name.size();
    if (names_.size() + room > std::numeric_limits<uint32_t>::max())
        throw std::length_error("too many names in one folder");
    const auto offset = static_cast<uint32_t>(names_.size());
    if (name.size() < 255) {
        names_.push_back(static_cast<char>(name.size()));
    } else {
        names_.push_back(static_cast<char>(255));
        const auto len = static_cast<uint32_t>(name.size());
        names_.append(reinterpret_cast<const char*>(&len), sizeof len);
    }
    names_.append(name);
    return offset;
}

void TFileListEntry::SetName(std::string_view name) {
    // name may lie in this entry's folder record, which grows below.
    const std::string copy(name);
    if (!home_.Folder() || home_.FolderShared())
        home_.SetFolder(tFolderRef::Make(RelPath(), Level()));
    nameOffset_ = home_.Folder()->AddName(copy);
}

void TFileListEntry::SetRelPath(std::string path) {
    tFolderRef folder = tFolderRef::Make(std::move(path), Level());
    nameOffset_ = folder->AddName(Name());
    home_.SetFolder(std::move(folder));
}

void TFileListEntry::SetLevel(int32_t level) {
    tFolderRef folder = tFolderRef::Make(RelPath(), level);
    nameOffset_ = folder->AddName(Name());
    home_.SetFolder(std::move(folder));
}

std::string NormalizeSlashes(std::string_view path) {
    std::string out;
    out.reserve(path.size());
    for (size_t i = 0; i < path.size(); ++i) {
        // The first character never pairs with the second: a leading "//" stays.
        if (path[i] == '/' && out.size() >= 2 && out.back() == '/') continue;
        out.push_back(path[i]);
    }
    return out;
}

} // namespace corvane
