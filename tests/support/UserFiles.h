// A user's files named like temporaries, two hours old, beside a killed save of
// a process that is gone: a leftover sweep takes the latter only.
#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace testsupport {

struct PlantedFiles {
    std::vector<std::string> users;
    std::string deadTemp;
    // What a sweep got wrong: a user's file gone, or the dead temporary kept.
    std::vector<std::string> WronglySwept() const {
        std::vector<std::string> wrong;
        for (const std::string& f : users)
            if (!std::filesystem::exists(f)) wrong.push_back(f);
        if (std::filesystem::exists(deadTemp)) wrong.push_back(deadTemp);
        return wrong;
    }
};

inline PlantedFiles PlantUserFiles(const std::filesystem::path& folder, const std::string& target = "run1.hed") {
    PlantedFiles p{{}, folder / ("." + target + ".tmp4194305.0123456789abcdef")};
    std::ofstream{p.deadTemp};
    for (const char* n : {"notes.hed.Backup", "well.hed.bak001", "report.hed.copy12", "x.hed.2019v1",
                          "well.hed.BACKUP", "run0.hed.Ab3xZ9"}) {
        p.users.push_back(folder / n);
        std::ofstream(p.users.back()) << "mine";
        std::filesystem::last_write_time(p.users.back(),
                                         std::filesystem::file_time_type::clock::now() - std::chrono::hours(2));
    }
    return p;
}

}  // namespace testsupport
