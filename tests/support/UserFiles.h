// Files of a user's whose names look like temporaries, two hours old, beside a
// killed save of a process that is gone: a sweep takes the latter only.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

#include <cstdio>
#include <string>
#include <vector>

namespace testsupport {

struct PlantedFiles {
    std::vector<std::string> users;  // must survive every sweep
    std::string deadTemp;            // must go
};

inline PlantedFiles PlantUserFiles(std::string folder, const std::string& target = "run1.hed") {
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    PlantedFiles p;
    for (const char* n : {"notes.hed.Backup", "well.hed.bak001", "report.hed.copy12", "x.hed.2019v1",
                          "well.hed.BACKUP", "run0.hed.Ab3xZ9"})
        p.users.push_back(folder + "/" + n);
    p.deadTemp = folder + "/." + target + ".tmp4194305.0123456789abcdef";
    for (const std::string& f : p.users) {
        if (std::FILE* out = std::fopen(f.c_str(), "wb")) std::fputs("mine", out), std::fclose(out);
        const struct timespec times[2] = {{0, UTIME_OMIT}, {::time(nullptr) - 7200, 0}};
        ::utimensat(AT_FDCWD, f.c_str(), times, 0);
    }
    if (std::FILE* out = std::fopen(p.deadTemp.c_str(), "wb")) std::fclose(out);
    return p;
}

// The planted files that a sweep got wrong: users' gone, or the dead temporary kept.
inline std::vector<std::string> WronglySwept(const PlantedFiles& p) {
    struct stat st;
    std::vector<std::string> wrong;
    for (const std::string& f : p.users)
        if (::stat(f.c_str(), &st) != 0) wrong.push_back(f);
    if (::stat(p.deadTemp.c_str(), &st) == 0) wrong.push_back(p.deadTemp);
    return wrong;
}

}  // namespace testsupport
