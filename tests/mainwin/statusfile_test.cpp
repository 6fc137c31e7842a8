// ZELTO5_STATUS_FILE: the file follows the status panel through an update, so a
// script sees the ready device, then the finished or failed part.
#include "mainwin_support.h"

#include <QEvent>
#include <algorithm>

using namespace mainwin_test;

namespace {

class StatusFile : public MainWindow {
protected:
    void SetUp() override {
        MainWindow::SetUp();
        path = root / "status.txt";
        ::setenv("ZELTO5_STATUS_FILE", path.c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("ZELTO5_STATUS_FILE");
        MainWindow::TearDown();
    }
    QString Read() const {
        QFile file(QString::fromStdString(path.string()));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    static QString Panel(const char* colour, int status, int info) {
        return QStringLiteral("panel=%1\nstatus=%2\ninfo=%3\n").arg(colour, Lang(status), info ? Lang(info) : QString());
    }
    fs::path path;
};

struct Outcome {
    const char* what;
    int finishRefusal;  // 0: the part goes through
    const char* colour;
    int status, info;
};

void PrintTo(const Outcome& c, std::ostream* os) { *os << c.what; }

class StatusFileOutcome : public StatusFile, public ::testing::WithParamInterface<Outcome> {};

TEST_P(StatusFileOutcome, FollowsThePanelToTheEndOfTheUpdate) {
    const Outcome& c = GetParam();
    WriteSetup(Section("RTUU", 0x0203, 1));
    Start();
    Plug();
    ASSERT_TRUE(WaitForItems(1));
    ASSERT_TRUE(WaitUntil([&] { return Read().contains(QStringLiteral("status=") + Lang(21) + u'\n'); })) << Read().toStdString();

    if (c.finishRefusal) rm->PushFault(z5sim::Fault::Refuse(static_cast<uint8_t>(c.finishRefusal)).OnCommand(0x23));
    window->BtnUpdateClick();
    ASSERT_TRUE(WaitForUpdateEnd());
    const QString expected = Panel(c.colour, c.status, c.info);
    EXPECT_TRUE(WaitUntil([&] { return Read() == expected; }, 10)) << Read().toStdString();
}

INSTANTIATE_TEST_SUITE_P(, StatusFileOutcome,
                         ::testing::Values(Outcome{"Finished", 0, "#c0dcc0", 24, 35},
                                           Outcome{"FinishRefused", 2, "#ff0000", 30, 32}),
                         [](const auto& info) { return std::string(info.param.what); });

// What the panel and its labels paint, in order, without repeats: what the
// status file is written from.
class PaintedStates : public QObject {
public:
    explicit PaintedStates(TfrmMain& window) : window_(window) {
        for (QObject* o : {static_cast<QObject*>(window.Panel2), static_cast<QObject*>(window.Label3),
                           static_cast<QObject*>(window.Label6)})
            o->installEventFilter(this);
    }
    std::vector<QString> states;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::Paint) return false;
        const QString state = QStringLiteral("panel=%1\nstatus=%2\ninfo=%3\n")
                                  .arg(window_.PanelColor().name(), window_.Label3->text(), window_.Label6->text());
        if (states.empty() || states.back() != state) states.push_back(state);
        return false;
    }

private:
    TfrmMain& window_;
};

// The end of the last pause: the pause's texts on white, then green with the
// final text at once; no green with the pause's text, no final text on white.
TEST_F(StatusFile, FinalTextComesWithTheGreenPanel) {
    WriteSetup(Section("RTUU", 0x0203, 1));
    Start();
    Plug();
    ASSERT_TRUE(WaitForItems(1));
    PaintedStates painted(*window);
    window->BtnUpdateClick();
    ASSERT_TRUE(WaitForUpdateEnd());
    ASSERT_TRUE(WaitUntil([&] { return Read() == Panel("#c0dcc0", 24, 35); }, 10)) << Read().toStdString();
    const auto pause = std::find(painted.states.begin(), painted.states.end(), Panel("#ffffff", 24, 25));
    ASSERT_NE(pause, painted.states.end());
    ASSERT_NE(pause + 1, painted.states.end());
    EXPECT_EQ(*(pause + 1), Panel("#c0dcc0", 24, 35));
}

// Line breaks of a text would split the file's lines.
TEST_F(StatusFile, TextsStayOnTheirLines) {
    Start();
    window->Label6->setText(QStringLiteral("one\ntwo\r\nthree"));
    EXPECT_TRUE(WaitUntil([&] { return Read().endsWith(u"\ninfo=one two  three\n"); }, 10)) << Read().toStdString();
}

}  // namespace
