#pragma once
// CPSetDepthPlayer ("Set start and end depht to export"): the depth interval
// of a SEG-2 export. It works on the application's export values: in, the
// first and last record depths and the mean depth change per record; out,
// after a valid "Set" (result 0), the first record index in `first` and the
// number of records in `step`. "All", Escape and the close box end with -1
// and change nothing. GUI thread only.
#include "ui/dialogs/DialogExt.h"

class QLineEdit;
class QPushButton;

class CPSetDepthPlayer : public CDialogExt {
    Q_OBJECT
public:
    static constexpr unsigned IDD = 240;
    enum : int { IDC_BEGIN = 241, IDC_END = 242, IDC_INFOS = 1594, IDC_ALERT = 1596 };

    // One SEG-2 file holds at most 16383 traces; the dialog accepts at most
    // 16380 steps and proposes at most 16000.
    static constexpr int kMaxTraces = 16383;
    static constexpr int kMaxSteps = 16380;
    static constexpr int kProposedSteps = 16000;

    static constexpr const char* kMsgBeginMin = "Set beginnig at min : %#.3f";
    static constexpr const char* kMsgEndMax = "Set End at max : %#.3f";
    static constexpr const char* kMsgBeginMax = "Set beginnig at max : %#.3f";
    static constexpr const char* kMsgEndMin = "Set end at min : %#.3f";
    static constexpr const char* kMsgOrder = "the Beginning is after end depth !!!";
    static constexpr const char* kInfos = "Logging Depth : %#.3fm to %#.3fm";
    static constexpr const char* kAlert = "Maximal %#.3fm by SG2 exportation file !!!";

    // The three values are the application's m_dExportFirst, m_dExportLast, m_dExportStep.
    CPSetDepthPlayer(double& exportFirst, double& exportLast, double& exportStep, QWidget* parent = nullptr);
    ~CPSetDepthPlayer() override;

    BOOL OnInitDialog() override;
    void OnOK() override;      // "Set", Enter
    void OnCancel() override;  // "All", Escape, close box

    double m_dBegin = 0.0;     // m
    double m_dEnd = 0.0;       // m
    double m_dStepSize = 0.0;  // m, positive

private:
    double& m_first;
    double& m_last;
    double& m_step;
};
