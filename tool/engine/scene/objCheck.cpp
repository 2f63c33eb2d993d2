#include "objCheck.h"

#include "core/errors.h"
#include "core/fileInput.h"
#include "core/workLimits.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace cwtool {

void checkObjFile(const std::string& path, const std::string& label)
{
    const std::string what = label.empty() ? "--scene '" + path + "'" : label;
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        throw InputError(what + ": cannot open the file: " + std::strerror(errno));
    if (!S_ISREG(st.st_mode))  // a device or a pipe may never end
        throw InputError(what + ": is " + fileKind(st.st_mode) + ", not a regular file");
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw InputError(what + ": cannot open the file: " + std::strerror(errno));
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const std::size_t hash = line.find('#');
        std::istringstream words(line.substr(0, hash));
        std::string keyword;
        if (!(words >> keyword) || (keyword != "v" && keyword != "vn" && keyword != "vt"))
            continue;
        const std::string at = what + ": line " + std::to_string(number) + ": ";
        int count = 0;
        for (std::string word; words >> word; ++count) {
            char* end = nullptr;
            errno = 0;
            const double v = std::strtod(word.c_str(), &end);
            if (end == word.c_str() || *end)
                throw InputError(at + "'" + word + "' is not a number");
            if (!isSingle(v))
                throw InputError(at + notSingle(word));
            // Plain decimal only: the OBJ reader takes "0x10" as 0.
            if (word.find_first_not_of("0123456789+-.eE") != std::string::npos)
                throw InputError(at + "'" + word + "' is not a decimal number");
        }
        const int needed = keyword == "vt" ? 1 : 3;
        if (count < needed)
            throw InputError(at + "'" + keyword + "' takes " + std::to_string(needed) + " numbers, got " +
                             std::to_string(count));
    }
    if (in.bad())
        throw InputError(what + ": reading failed: " + std::strerror(errno));
}

}  // namespace cwtool
