#include "app/EndProcessDlg.h"

#include <QLabel>
#include <QVBoxLayout>

#include "ui/AppTexts.h"
#include "platform/ui/Draw.h"

CEndProcessDlg::CEndProcessDlg(QWidget* parent) : CDialog(IDD, parent), m_text(new QLabel(this)) {
    setWindowTitle(g_strProductTitle);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    m_text->setAlignment(Qt::AlignCenter);
    m_text->setMinimumSize(360, 60);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_text);
    SetDlgItem(IDC_MESSAGE, m_text);
}

BOOL CEndProcessDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    m_font = zns::ui::MakeFont("Arial", 20, 300);
    m_text->setFont(m_font);
    SetDlgItemText(IDC_MESSAGE, kTextInitial);
    return TRUE;
}

void CEndProcessDlg::SetMessage(const std::string& text) { SetDlgItemText(IDC_MESSAGE, text); }
