#include "core/WindowMessage.h"
#include "core/MessageBox.h"
#include "core/WorkerGroup.h"
#include "tests/support/MessageRecorder.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <thread>

namespace
{

class Receiver : public QObject
{
public:
    bool event(QEvent* event) override
    {
        if (WindowMessage* message = AsWindowMessage(event)) {
            received.push_back({ message->message(), message->wParam, message->lParam });
            receivedOn = QThread::currentThread();
            message->result = LRESULT(message->wParam) * 2;
            return true;
        }
        return QObject::event(event);
    }

    struct Entry {
        int message;
        WPARAM wParam;
        LPARAM lParam;
    };
    std::vector<Entry> received;
    QThread* receivedOn = nullptr;
};

TEST(WindowMessageTest, NamesMapToOneNumberPerProcess)
{
    const int a = RegisterWindowMessage("WM_KAVRILUNE_UPDATE_STATUS_");
    const int b = RegisterWindowMessage("WM_KAVRILUNE_UPDATE_STATUS");
    EXPECT_EQ(RegisterWindowMessage("WM_KAVRILUNE_UPDATE_STATUS_"), a);
    EXPECT_NE(a, b);
    EXPECT_GT(a, WM_USER + 500); // never collides with the plain numbers
}

TEST(WindowMessageTest, PostedMessagesArriveInOrderOnTheReceiversThreadAndSendsReturnResults)
{
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    Receiver receiver;
    const int message = RegisterWindowMessage("WM_KAVRILUNE_TEST");

    LRESULT sent = 0;
    std::thread worker([&] {
        for (int i = 1; i <= 3; ++i)
            PostWindowMessage(&receiver, message, WPARAM(i), LPARAM(-i));
        sent = SendWindowMessage(&receiver, WM_USER + 7, 21, 0); // waits for the receiver's thread
        QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    QTimer::singleShot(10000, &app, &QCoreApplication::quit);
    app.exec();
    worker.join();

    ASSERT_EQ(receiver.received.size(), 4u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(receiver.received[i].message, message);
        EXPECT_EQ(receiver.received[i].wParam, WPARAM(i + 1));
        EXPECT_EQ(receiver.received[i].lParam, LPARAM(-(i + 1)));
    }
    EXPECT_EQ(receiver.received[3].message, WM_USER + 7);
    EXPECT_EQ(sent, 42);
    EXPECT_EQ(receiver.receivedOn, app.thread());
    EXPECT_FALSE(PostWindowMessage(nullptr, message));
}

// A worker's posts reach a living owner in the order they were made; those for an owner that is gone
// before they arrive, or was gone when they were made, are dropped.
TEST(WindowMessageTest, WorkerPostsReachALivingOwnerInOrderAndNeverAGoneOne)
{
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    Receiver living;
    auto* leaving = new Receiver;
    const QPointer<QObject> livingOwner(&living);
    const QPointer<QObject> leavingOwner(leaving);

    std::thread worker([&] {
        for (int i = 1; i <= 50; ++i) {
            PostWindowMessageWhenAlive(livingOwner, WM_USER + 1, WPARAM(i), LPARAM(-i));
            PostWindowMessageWhenAlive(leavingOwner, WM_USER + 2, WPARAM(i));
        }
    });
    worker.join();
    delete leaving; // before anything was delivered
    std::thread late([&] { PostWindowMessageWhenAlive(leavingOwner, WM_USER + 3); });
    late.join();
    testing_support::PumpUntil([&] { return living.received.size() >= 50; });
    testing_support::PumpFor(100);

    ASSERT_EQ(living.received.size(), 50u);
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(living.received[i].message, WM_USER + 1);
        EXPECT_EQ(living.received[i].wParam, WPARAM(i + 1));
        EXPECT_EQ(living.received[i].lParam, LPARAM(-(i + 1)));
    }
    EXPECT_EQ(living.receivedOn, app.thread());
}

TEST(MessageBoxTest, ScriptedHandlersAnswerAndDefaultsAreOkOrYes)
{
    EXPECT_EQ(MessageBox("question", "Kavrilune", MB_YESNO | MB_ICONQUESTION), IDYES);
    EXPECT_EQ(MessageBox("note"), IDOK);
    QString seen;
    auto previous = SetMessageBoxHandler([&seen](const QString& text, const QString&, unsigned type) {
        seen = text;
        return (type & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
    });
    EXPECT_EQ(MessageBox("stop recording?", QString(), MB_YESNO), IDNO);
    EXPECT_EQ(seen, "stop recording?");
    SetMessageBoxHandler(previous);
}

} // namespace
