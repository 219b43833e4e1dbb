#include "platform/Transfer.h"

#include <dirent.h>

#include <string_view>

namespace ferrodock::transfer {

bool holdsHashedNames(const char* folder) {
    DIR* dir = folder ? ::opendir(folder) : nullptr;
    bool hashed = false;
    while (dirent* entry = dir && !hashed ? ::readdir(dir) : nullptr) {
        const std::string_view name(entry->d_name);
        hashed = name.size() == 10 && name.ends_with(".0") &&
                 name.find_first_not_of("0123456789abcdef") == 8;
    }
    if (dir) ::closedir(dir);
    return hashed;
}

const char* hashedCaFolder() {
    static const char* const folder = [] {
        const char* path = curl_version_info(CURLVERSION_NOW)->capath;
        return holdsHashedNames(path) ? path : nullptr;
    }();
    return folder;
}

}  // namespace ferrodock::transfer
