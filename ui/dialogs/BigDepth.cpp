#include "ui/dialogs/BigDepth.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <cmath>

#include "records/SharedRecords.h"
#include "platform/ui/Draw.h"
#include "settings/Preferences.h"
#include "ui/controls/GraphicCounterCtrl.h"
#include "ui/dialogs/DephtDlgCore.h"

namespace {

constexpr const char* kNumberFormat = "%###.2f";



QIcon MagnifierIcon() {
    QPixmap pm(16, 16);
    pm.fill(Qt::black);
    QPainter p(&pm);
    p.setPen(zns::ui::FromColorRef(CBigDepth::kLiveText));
    p.setFont(zns::ui::MakeFont("Arial", 12, 700));
    p.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, QStringLiteral("D"));
    p.end();
    return QIcon(pm);
}

QLabel* MakeLabel(QWidget* parent, const char* text, const QRect& r) {
    auto* l = new QLabel(QString::fromLatin1(text), parent);
    l->setGeometry(r);
    l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return l;
}

}  // namespace

CBigDepth::CBigDepth(SharedData& shared, SettingsData& settings, QWidget* parent)
    : CDialogExt(IDD, parent), m_shared(shared), m_settings(settings) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    resize(340, 150);
    SetDlgItem(IDC_DEPTH_PLACE, MakeLabel(this, "0000,00", QRect(8, 8, 250, 72)));
    SetDlgItem(IDC_SPEED_PLACE, MakeLabel(this, "0000,00", QRect(8, 88, 190, 52)));
    m_depthUnit = MakeLabel(this, "M", QRect(266, 20, 70, 56));
    SetDlgItem(IDC_DEPTH_UNIT, m_depthUnit);
    m_speedUnit = MakeLabel(this, "m/min", QRect(206, 96, 130, 40));
    SetDlgItem(IDC_SPEED_UNIT, m_speedUnit);
}

CBigDepth::~CBigDepth() { KillTimer(kRefreshTimerId); }

BOOL CBigDepth::OnInitDialog() {
    CDialogExt::OnInitDialog();
    setWindowIcon(MagnifierIcon());
    SetWindowText("Depth magnifier");
    m_dDepth = 0.0;
    m_dSpeed = 0.0;

    auto makeCounter = [this](int placeId) {
        auto* c = new CGraphicCounterCtrl(this);
        c->Create(0, GetDlgItem(placeId)->geometry(), this, 0);
        c->raise();
        c->SetBackColor(kBackColor);
        c->SetTextColor(kLiveText);
        c->StartRefresh();
        return c;
    };
    m_counterDepth = makeCounter(IDC_DEPTH_PLACE);
    m_counterSpeed = makeCounter(IDC_SPEED_PLACE);
    m_counterSpeed->SetTextColor3(0x0000FF);
    m_counterSpeed->SetTextColor2(0x00FFFF);

    m_depthUnit->setFont(zns::ui::MakeFont("MS Shell Dlg", 40, 700));
    m_speedUnit->setFont(zns::ui::MakeFont("MS Shell Dlg", 24, 700));
    return FALSE;
}

double CBigDepth::MaxLoggingSpeed() const {
    // Without the main window's computation there is no limit to colour against.
    return m_hooks.maxLoggingSpeed ? m_hooks.maxLoggingSpeed() : std::nan("");
}

void CBigDepth::StorePlacement() {
    zns::WindowPlacement wp;
    GetWindowPlacement(wp);
    m_settings.layout.placement[LAYOUT_MAGNIFIER] = wp;
}

void CBigDepth::ShowMagnifier() {
    Create();
    const ::WindowPlacement& stored = m_settings.layout.placement[LAYOUT_MAGNIFIER];
    if (stored.IsPresent()) {
        zns::WindowPlacement wp = stored;
        // The button must show the window: a damaged layout file may say "hidden".
        if (wp.showCmd == static_cast<uint32_t>(SW_HIDE)) wp.showCmd = SW_SHOWNORMAL;
        SetWindowPlacement(wp);
        return;
    }
    const QRect main = m_hooks.mainWindowRect ? m_hooks.mainWindowRect() : QRect();
    // Placements are kept in client coordinates, as the window layer stores them.
    setGeometry(QRect(QPoint(main.left() + (main.width() - width()) / 2, main.top() + kTopBelowMain), size()));
    StorePlacement();
    ShowWindow(SW_SHOW);
}

void CBigDepth::RequestUpdate() {
    if (!IsTimerSet(kRefreshTimerId)) SetTimer(kRefreshTimerId, kRefreshMs);
}

void CBigDepth::OnTimer(unsigned id) {
    if (id != kRefreshTimerId) return;
    KillTimer(kRefreshTimerId);
    if (!m_counterDepth) return;  // not initialised yet

    const LiveValues live = m_shared.SnapshotLive();
    m_dDepth = live.Depth;
    m_dSpeed = live.Speed;

    if (m_shared.m_nLinkState.load() < LINK_ANSWER) {
        const SessionState session = m_shared.SnapshotSession();
        if (session.ReplayLoaded && (session.Running || session.Paused)) {
            m_counterDepth->SetTextColor(kReplayText);
            m_counterSpeed->SetTextColor(kReplayText);
            m_counterDepth->WriteCounterDataDouble(m_dDepth, kNumberFormat);
            if (m_dSpeed == 0.0)
                m_counterSpeed->WriteCounterDataCString("");
            else
                m_counterSpeed->WriteCounterDataDouble(m_dSpeed, kNumberFormat);
        } else {
            m_counterDepth->WriteCounterDataCString("");
            m_counterSpeed->WriteCounterDataCString("");
        }
        return;
    }

    m_counterDepth->SetTextColor(kLiveText);
    const int mode = m_shared.SnapshotSonde().Mode & 0x0F;
    const zns::SpeedLook look = zns::SpeedLookFor(m_dSpeed, MaxLoggingSpeed(), mode);
    m_counterSpeed->SetTextColor(look.color);
    if (look.blink) {
        if (!m_speedBlinking) {
            m_counterSpeed->StartBlink(2);  // 500 ms
            m_speedBlinking = true;
        }
    } else {
        m_counterSpeed->StopBlink();
        m_speedBlinking = false;
    }

    double depth = m_dDepth;
    if (!(m_rawDepth && m_rawDepth->load())) {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        depth -= m_settings.sondeDb.SondeLength / 100.0;
    }
    m_counterDepth->WriteCounterDataDouble(depth, kNumberFormat);
    m_counterSpeed->WriteCounterDataDouble(m_dSpeed, kNumberFormat);
}

void CBigDepth::OnLButtonDblClk() {
    StorePlacement();
    ShowWindow(SW_HIDE);
}

void CBigDepth::mouseDoubleClickEvent(QMouseEvent* e) {
    CDialogExt::mouseDoubleClickEvent(e);
    if (e->button() == Qt::LeftButton) OnLButtonDblClk();
}

void CBigDepth::OnCancel() {
    StorePlacement();
    CDialogExt::OnCancel();
}
