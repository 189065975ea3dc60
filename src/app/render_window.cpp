// SPDX-License-Identifier: GPL-3.0-or-later
// Renders the main window to PNG files in its states (locked; unlocked on each page), on the
// offscreen platform, so its look can be checked without a display:
//   render_window <output folder>
// Connecting binds a port the system picks on this host; nothing is sent: the presence
// probe is one that records, and the plan picture is drawn from a results file.

#include "app/app_setup.h"
#include "app/main_window.h"
#include "common/dialogs.h"
#include "plan/pages/plan_panel.h"
#include "plan/plan.h"
#include "plan/plan_results.h"
#include "net/net_address.h"
#include "net/presence_probe.h"
#include "skin/song_font.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <cstdio>

namespace
{

class PrintingDialogs : public Dialogs
{
public:
    int messageBox(const QString& text, const QString& caption, int) override
    {
        std::printf("box: %s | %s\n", qPrintable(caption), qPrintable(text));
        return MB::IDOK;
    }
    std::optional<QString> saveFileName(const SaveDialogRequest&) override { return std::nullopt; }
};

bool save(QWidget& window, const QString& folder, const char* name)
{
    QApplication::processEvents();
    const QString path = QDir(folder).filePath(QString::fromLatin1(name));
    const bool ok = window.grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

// A plan of four devices part way through, as the panel beside the parameter page lists it:
// one took its new address, one gave no answer there, one was just sent, one waits.
bool savePlanPicture(TfrmMain& window, const QString& folder)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("二楼.csv"));
    const QByteArray csv = "设备类型,当前设备IP,更新后设备IP,设备地址,备注\n"
                           "普通终端,192.168.1.200,192.168.1.21,21,201 会议室\n"
                           "普通终端,192.168.1.200,192.168.1.22,22,202 办公室\n"
                           "一键报警,192.168.1.200,192.168.1.23,23,走廊东\n"
                           "普通终端,192.168.1.200,192.168.1.24,24,走廊西\n";
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(csv) != csv.size())
        return false;
    file.close();
    const Plan plan = readPlan(csv, PlanBase{});
    const char* verdicts[] = {"新地址在线 52:54:00:a1:00:21", "新地址无应答", ""};
    const char* times[] = {"2026-12-08 10:02:11", "2026-12-08 10:03:40", "2026-12-08 10:05:02"};
    for (int i = 0; i < 3 && i < plan.rows.size(); ++i) {
        PlanResult result;
        result.row = plan.rows[i].row;
        result.time = QString::fromLatin1(times[i]);
        result.sent = true;
        result.message = QStringLiteral("设备设置完成！");
        result.key = planRowKey(plan.rows[i]);
        result.verdict = QString::fromUtf8(verdicts[i]);
        if (!result.verdict.isEmpty())
            result.verdictTime = result.time;
        if (!appendPlanResult(planResultsPath(path), result))
            return false;
    }
    auto* panel = window.findChild<PlanPanel*>(QStringLiteral("PlanPanel"));
    if (!panel)
        return false;
    panel->setPlanChooser([path] { return path; });
    panel->btnLoadPlanClick();
    QElapsedTimer waited;
    waited.start();
    while ((panel->loading() || waited.elapsed() < 500) && waited.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    return save(window, folder, "6-plan.png");
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    registerFontSubstitutions();
    QApplication app(argc, argv);
    setUpApplication(app);
    const QString folder =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    QDir().mkpath(folder);
    PrintingDialogs printing;
    installDialogs(&printing);
    // Nothing goes out: the probe that records answers what the pictures show.
    RecordingPresenceProbe probe;
    probe.answer(*parseDottedQuad(QStringLiteral("192.168.1.200")),
                 {PresenceKind::Present, QStringLiteral("52:54:00:a1:00:c8")});
    installPresenceProbe(&probe);

    bool ok = true;
    {
        TfrmMain window;
        window.resize(1089, 551);
        window.show();
        ok &= save(window, folder, "0-locked.png");

        window.findChild<QLineEdit*>(QStringLiteral("edtMM"))->setText(QStringLiteral("40617293"));
        // Bound on a port the system picks, so that a running copy on 7520 does not stop the
        // pictures; the field then reads as an installer's window does.
        auto* port = window.findChild<QLineEdit*>(QStringLiteral("Edit3"));
        port->setText(QStringLiteral("0"));
        window.BitBtn1Click();
        port->setText(QStringLiteral("7520"));
        auto* pages = window.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
        const char* names[] = {"1-parameters.png", "2-server.png", "3-console.png"};
        for (int i = 0; i < 3; ++i) {
            pages->setCurrentIndex(i);
            ok &= save(window, folder, names[i]);
        }
        if (auto* type = window.findChild<QComboBox*>(QStringLiteral("cmbType"))) {
            pages->setCurrentIndex(0);
            type->setCurrentIndex(3);
            Q_EMIT type->activated(3);
            ok &= save(window, folder, "4-parameters-alarm.png");
            type->setCurrentIndex(0);
            Q_EMIT type->activated(0);
            ok &= savePlanPicture(window, folder);
        }
        window.BitBtn2Click();
        ok &= save(window, folder, "5-disconnected.png");
    }
    installPresenceProbe(nullptr);
    installDialogs(nullptr);
    return ok ? 0 : 1;
}
