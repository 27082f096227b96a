#pragma once
// The one place where the core's Windows-1252 bytes meet QString.
#include <QString>
#include <string>

namespace zns::ui {

QString ToQ(const std::string& cp1252);
std::string FromQ(const QString& text);

}  // namespace zns::ui
