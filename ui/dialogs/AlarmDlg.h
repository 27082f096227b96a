#pragma once
// CAlertDlg: the main window's modeless alarm box. The main window makes it
// hidden at start and shows it with the alarm the frames raised (encoder
// error, low battery). GUI thread only: the frame handlers reach it through
// the main window, which posts.
#include <QFont>
#include <string>

#include "ui/dialogs/DialogExt.h"

class CColorStaticST;
class QLabel;
class QPushButton;

class CAlertDlg : public CDialogExt {
    Q_OBJECT
public:
    static constexpr unsigned IDD = 237;
    enum : int { IDC_ALERT_TEXT = 238, IDC_ALERT_ICON = 239 };

    // Alarm codes: bit 6 and bit 7 of a frame's mode byte.
    enum : int { ALARM_ENCODER = 0, ALARM_BATTERY = 1 };
    static constexpr uint32_t kTextColor = 0x0000FF;  // COLORREF: red

    explicit CAlertDlg(QWidget* parent = nullptr);
    ~CAlertDlg() override;

    BOOL OnInitDialog() override;
    // Caption and message of alarm `code`; any other code changes nothing.
    void SetAlarm(int code);

    std::string Message() const;
    CColorStaticST* MessageStatic() const { return m_text; }

private:
    QLabel* m_icon = nullptr;
    CColorStaticST* m_text = nullptr;
    QPushButton* m_ok = nullptr;
    QFont m_font;  // bold, for the dialog's whole life
};
