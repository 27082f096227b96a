#pragma once
// CFirstArrivalCursorDlg: the first-arrival settings of one receiver (detection
// threshold, start and end of the search window in µs, whether the pick is
// shown). Every committed change goes at once into AcquisitionSettings and the
// configuration file; the dialog ends only by cancel and undoes nothing.
//
// A value is committed when its edit loses the focus, by Enter in it (the
// dialog stays open), and at the end of each spin click. Spin clicks on the
// threshold and the start window also tell the Rx1 wide view to reload its
// scope's settings (ID_SCOPE_SETTINGS_CHANGED). GUI thread only.
#include <functional>

#include "records/SharedRecords.h"
#include "platform/WinTypes.h"
#include "ui/dialogs/DialogExt.h"
#include "ui/dialogs/FirstArrivalCursorCore.h"

class CSpinArrows;
class CWaveCtrl;
class QCheckBox;
class QLineEdit;

class CFirstArrivalCursorDlg : public CDialogExt {
    Q_OBJECT
public:
    static constexpr unsigned IDD = 537;
    static constexpr unsigned ID_SCOPE_SETTINGS_CHANGED = 64808;

    enum : int {
        IDC_THRESHOLD = 1606,
        IDC_THRESHOLD_SPIN = 1607,
        IDC_START = 1212,
        IDC_START_SPIN = 1236,
        IDC_END = 1213,
        IDC_END_SPIN = 1445,
        IDC_USE = 1608,
    };

    // `saveConfig` is CPreferences::SaveConfig (none: nothing is saved). `shared`
    // outlives the dialog.
    CFirstArrivalCursorDlg(SharedData& shared, std::function<void()> saveConfig, QWidget* parent = nullptr);
    ~CFirstArrivalCursorDlg() override;

    // Makes every scope open this dialog for its channel (CWaveCtrl::EditCursor).
    static void Install(SharedData& shared, std::function<void()> saveConfig);

    // Set by the creator before the dialog runs: 2001, 2002 or 2003.
    int m_nReceiverId = RX1_ID;

    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void OnVScroll(unsigned sbCode, unsigned pos, CSpinArrows* bar) override;

    void OnEnKillfocusStartWindow();
    void OnEnKillfocusEndWindow();
    void OnEnKillfocusThreshold();
    void OnBnClickedUseFirstArrivalDisplay();
    void NotifyScope();

    // --- state, for tests ---
    const zns::FaCursor& Cursor() const { return m_cursor; }
    QLineEdit* Edit(int id) const;
    QCheckBox* UseBox() const { return m_check; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    int RxIndex() const;  // 0..2, -1 for an unknown receiver id
    // Stores one field of the receiver's settings (the member is set by the caller).
    void StoreField(int32_t FirstArrivalSettings::*field, int value);
    void StoreStart(int value);
    void StoreEnd(int value);
    void StoreThreshold(int value);
    void SaveConfig();
    void ShowInt(int id, int value);
    // An empty edit: "Bad entered value" and the stored value shown again.
    bool RefuseEmpty(int id, int stored);

    SharedData& m_shared;
    std::function<void()> m_saveConfig;

    QLineEdit* m_editThreshold = nullptr;
    QLineEdit* m_editStart = nullptr;
    QLineEdit* m_editEnd = nullptr;
    CSpinArrows* m_spinThreshold = nullptr;
    CSpinArrows* m_spinStart = nullptr;
    CSpinArrows* m_spinEnd = nullptr;
    QCheckBox* m_check = nullptr;

    zns::FaCursor m_cursor;     // threshold, start, end, use as last committed
    bool m_committing = false;  // a commit's message box takes the focus away
    bool m_ending = false;      // the dialog is closing: a lost focus commits nothing
};
