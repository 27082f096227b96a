#include "platform/ui/UiText.h"

#include "platform/CodePage.h"

namespace zns::ui {

QString ToQ(const std::string& cp1252) { return QString::fromStdString(zns::FromCp1252(cp1252)); }

std::string FromQ(const QString& text) { return zns::ToCp1252(text.toStdString()); }

}  // namespace zns::ui
