#include "platform/ui/QtUiService.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QStringList>
#include <algorithm>

#include "platform/ui/GuiThread.h"
#include "platform/ui/UiText.h"

namespace zns::ui {

namespace {

QMessageBox::StandardButton QtButton(int id) {
    switch (id) {
        case IDOK: return QMessageBox::Ok;
        case IDCANCEL: return QMessageBox::Cancel;
        case IDABORT: return QMessageBox::Abort;
        case IDRETRY: return QMessageBox::Retry;
        case IDIGNORE: return QMessageBox::Ignore;
        case IDYES: return QMessageBox::Yes;
        case IDNO: return QMessageBox::No;
        default: return QMessageBox::NoButton;
    }
}

QMessageBox::Icon QtIcon(unsigned type) {
    switch (type & MB_ICONMASK) {
        case MB_ICONHAND: return QMessageBox::Critical;
        case MB_ICONQUESTION: return QMessageBox::Question;
        case MB_ICONEXCLAMATION: return QMessageBox::Warning;
        case MB_ICONASTERISK: return QMessageBox::Information;
        default: return QMessageBox::NoIcon;
    }
}

QString StripTrailingPatternGroup(QString desc) {
    desc = desc.trimmed();
    if (desc.endsWith(')')) {
        const qsizetype open = desc.lastIndexOf('(');
        if (open >= 0) desc = desc.left(open).trimmed();
    }
    return desc;
}

}  // namespace

QString QtFilterFromWin(const std::string& filter) {
    const QStringList parts = ToQ(filter).split('|');
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString desc = parts[i];
        const QString patterns = parts[i + 1].trimmed();
        if (desc.trimmed().isEmpty() && patterns.isEmpty()) break;  // the closing "||"
        QStringList pats;
        for (const QString& p : patterns.split(';', Qt::SkipEmptyParts)) {
            const QString t = p.trimmed();
            if (t.isEmpty()) continue;
            for (const QString& v : {t.toLower(), t.toUpper()})
                if (!pats.contains(v)) pats << v;
        }
        if (pats.isEmpty()) continue;
        QString name = StripTrailingPatternGroup(desc);
        if (name.isEmpty()) name = patterns;
        out << name + " (" + pats.join(' ') + ")";
    }
    return out.join(";;");
}

int QtUiService::MessageBox(QWidget* parent, const std::string& text, const std::string& caption,
                            unsigned type) {
    if (!IsGuiThread()) {
        // A worker must never wait for the user: show it later, answer the default.
        PostMessageBox(text, caption, type);
        return DefaultAnswer(type);
    }
    NoteModalSession();
    QMessageBox box(QtIcon(type), ToQ(caption), ToQ(text), QMessageBox::NoButton, parent);
    for (int id : ButtonsOf(type)) box.addButton(QtButton(id));
    box.setDefaultButton(QtButton(DefaultAnswer(type)));
    const std::vector<int> buttons = ButtonsOf(type);
    if (buttons.size() == 1) box.setEscapeButton(QtButton(buttons.front()));
    box.exec();
    const auto pressed = box.standardButton(box.clickedButton());
    for (int id : buttons)
        if (QtButton(id) == pressed) return id;
    // Dismissed without a button: Cancel where there is one, else No, else the first.
    for (int id : {IDCANCEL, IDNO})
        if (std::find(buttons.begin(), buttons.end(), id) != buttons.end()) return id;
    return buttons.front();
}

std::optional<std::string> QtUiService::FileDialog(QWidget* parent, const FileDialogRequest& req) {
    NoteModalSession();
    QFileDialog dlg(parent, ToQ(req.title), QFile::decodeName(req.initialDir.c_str()));
    dlg.setAcceptMode(req.open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    if (req.open)
        dlg.setFileMode((req.flags & OFN_FILEMUSTEXIST) ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    else
        dlg.setFileMode(QFileDialog::AnyFile);
    if (!req.open && !(req.flags & OFN_OVERWRITEPROMPT)) dlg.setOption(QFileDialog::DontConfirmOverwrite);
    const QString filters = QtFilterFromWin(req.filter);
    if (!filters.isEmpty()) dlg.setNameFilters(filters.split(";;"));
    QString ext = ToQ(req.defaultExt);
    while (ext.startsWith('.')) ext.remove(0, 1);
    if (!ext.isEmpty()) dlg.setDefaultSuffix(ext);
    const QString name = QFile::decodeName(req.fileName.c_str());
    if (!name.isEmpty() && !name.contains('*') && !name.contains('?')) dlg.selectFile(name);
    if (dlg.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = dlg.selectedFiles();
    if (files.isEmpty()) return std::nullopt;
    return QFile::encodeName(files.front()).toStdString();
}

std::optional<std::string> QtUiService::PrintSetup(QWidget* parent, const std::string& current) {
    NoteModalSession();
    QPrinter printer;
    if (current.find('/') != std::string::npos) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QFile::decodeName(current.c_str()));
    } else if (!current.empty()) {
        printer.setPrinterName(ToQ(current));
    }
    QPrintDialog dlg(&printer, parent);
    dlg.setWindowTitle(QStringLiteral("Set Printer"));
    // The dialog only chooses the printer: its accept button prints nothing.
    if (auto* buttons = dlg.findChild<QDialogButtonBox*>())
        if (QPushButton* ok = buttons->button(QDialogButtonBox::Ok)) ok->setText(QStringLiteral("OK"));
    if (dlg.exec() != QDialog::Accepted) return std::nullopt;
    // Qt's print to PDF: the file's absolute path stands for the printer.
    if (printer.outputFormat() == QPrinter::PdfFormat) {
        const QString file = printer.outputFileName();
        if (file.isEmpty()) return std::string();
        return QFile::encodeName(QFileInfo(file).absoluteFilePath()).toStdString();
    }
    return FromQ(printer.printerName());
}

std::string QtUiService::DefaultPrinterName() { return FromQ(QPrinterInfo::defaultPrinterName()); }

bool QtUiService::PrinterAvailable(const std::string& name) {
    return !name.empty() && !QPrinterInfo::printerInfo(ToQ(name)).isNull();
}

void QtUiService::Beep(unsigned, unsigned) { QApplication::beep(); }

}  // namespace zns::ui
