#pragma once
// Shared helpers of the dialog tests: the screenshot folder.
#include <QWidget>
#include <filesystem>
#include <string>

namespace zns::test {

inline bool SaveShot(QWidget& w, const std::string& name) {
#ifdef ZNS_ARTIFACT_DIR
    const std::filesystem::path dir(ZNS_ARTIFACT_DIR);
#else
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "zns-artifacts";
#endif
    std::filesystem::create_directories(dir);
    return w.grab().save(QString::fromStdString((dir / name).string()));
}

}  // namespace zns::test
