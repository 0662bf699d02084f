// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "platform/exceptiondisplay.h"
#include "widgets/rxwindowhook.h"

#include <QTest>

#include <memory>
#include <stdexcept>

namespace {

// A form that records what its own processing sees and answers WM_USER with 7.
class TestWindow : public Form {
public:
    TestWindow() : Form(QSize(100, 60)) {}
    QStringList* log = nullptr;

protected:
    void Dispatch(TMessage& message) override
    {
        if (message.Msg >= WM_USER || message.Msg == WM_DESTROY || message.Msg == WM_QUIT) {
            if (log)
                *log << QStringLiteral("window");
            if (message.Msg == WM_USER)
                message.Result = 7;
        }
        Form::Dispatch(message);
    }
};

// Hooks that write "<name> before" and "<name> after" into a shared log.
void logTo(TRxWindowHook& hook, const QString& name, QStringList& log)
{
    hook.BeforeMessage = [&log, name](TRxWindowHook*, TMessage& msg, bool&) {
        if (msg.Msg >= WM_USER || msg.Msg == WM_DESTROY || msg.Msg == WM_QUIT)
            log << name + QStringLiteral(" before");
    };
    hook.AfterMessage = [&log, name](TRxWindowHook*, TMessage& msg, bool&) {
        if (msg.Msg >= WM_USER || msg.Msg == WM_DESTROY || msg.Msg == WM_QUIT)
            log << name + QStringLiteral(" after");
    };
}

} // namespace

class TestRxWindowHook : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_errors.clear();
        setExceptionDisplay([this](const QString& message) { m_errors << message; });
        m_window = std::make_unique<TestWindow>();
        m_window->log = &m_log;
        m_log.clear();
        m_older = std::make_unique<TRxWindowHook>();
        m_newer = std::make_unique<TRxWindowHook>();
        logTo(*m_older, QStringLiteral("older"), m_log);
        logTo(*m_newer, QStringLiteral("newer"), m_log);
        m_original = m_window->GetWindowProc();
    }

    void cleanup()
    {
        m_newer.reset();
        m_older.reset();
        m_window.reset();
        QCoreApplication::processEvents();
    }

    // Guarantees 1 and 5: one subclassing; the newest sees each phase first.
    void phasesNewestFirst()
    {
        m_older->setWinControl(m_window.get());
        const WNDPROC hooked = m_window->GetWindowProc();
        QVERIFY(hooked != m_original);
        m_newer->setWinControl(m_window.get());
        QCOMPARE(m_window->GetWindowProc(), hooked);
        QCOMPARE(m_older->attachment(), m_newer->attachment());
        QCOMPARE(THookList::SharedHookList()->records().count(m_older->attachment()), 1);

        QCOMPARE(m_window->SendMessage(WM_USER, 0, 0), std::intptr_t(7));
        QCOMPARE(m_log, QStringList({"newer before", "older before", "window", "newer after",
                                     "older after"}));
    }

    // Guarantees 2 and 3: Handled in the before phase keeps the message from the older hook
    // and the window; the after phase sees the window's answer and may change it.
    void handledAndResult()
    {
        hookBoth();
        m_newer->BeforeMessage = [this](TRxWindowHook* sender, TMessage& msg, bool& handled) {
            QCOMPARE(sender, m_newer.get());
            if (msg.Msg == WM_USER) {
                m_log << QStringLiteral("newer before");
                msg.Result = 3;
                handled = msg.WParam == 1;
            }
        };
        QCOMPARE(m_window->SendMessage(WM_USER, 1, 0), std::intptr_t(3));
        QCOMPARE(m_log, QStringList({"newer before"}));

        m_log.clear();
        m_older->AfterMessage = [this](TRxWindowHook*, TMessage& msg, bool&) {
            m_log << QStringLiteral("older after %1").arg(msg.Result);
            msg.Result = 11;
        };
        m_newer->AfterMessage = [this](TRxWindowHook*, TMessage&, bool& handled) {
            m_log << QStringLiteral("newer after");
            handled = m_stopAfter;
        };
        QCOMPARE(m_window->SendMessage(WM_USER, 0, 0), std::intptr_t(11));
        QCOMPARE(m_log, QStringList({"newer before", "older before", "window", "newer after",
                                     "older after 7"}));
        m_log.clear();
        m_stopAfter = true;
        QCOMPARE(m_window->SendMessage(WM_USER, 0, 0), std::intptr_t(7));
        QCOMPARE(m_log, QStringList({"newer before", "older before", "window", "newer after"}));
    }

    // WM_DESTROY always reaches the window; WM_QUIT has no before phase.
    void destroyAndQuit()
    {
        hookBoth();
        m_window->SendMessage(WM_QUIT, 0, 0);
        QCOMPARE(m_log, QStringList({"window", "newer after", "older after"}));

        m_log.clear();
        m_newer->BeforeMessage = [this](TRxWindowHook*, TMessage& msg, bool& handled) {
            if (msg.Msg == WM_DESTROY) {
                m_log << QStringLiteral("newer before");
                handled = true;
            }
        };
        m_window->SendMessage(WM_DESTROY, 0, 0);
        QCOMPARE(m_log, QStringList({"newer before", "window", "newer after"}));
    }

    // Guarantee 4: an exception is shown and the phase goes on with the older hook.
    void exceptionsAreShown()
    {
        hookBoth();
        m_newer->BeforeMessage = [](TRxWindowHook*, TMessage& msg, bool&) {
            if (msg.Msg == WM_USER)
                throw std::runtime_error("Fehler im Hook");
        };
        QCOMPARE(m_window->SendMessage(WM_USER, 0, 0), std::intptr_t(7));
        QCOMPARE(m_errors, QStringList({"Fehler im Hook"}));
        QCOMPARE(m_log, QStringList({"older before", "window", "newer after", "older after"}));
    }

    // Guarantee 6: a recreated window is hooked again after one turn of the loop.
    void recreationIsFollowed()
    {
        hookBoth();
        TControlHook* record = m_older->attachment();
        m_window->RecreateWnd();
        QCOMPARE(m_window->GetWindowProc(), m_original);
        m_log.clear();
        m_window->SendMessage(WM_USER, 0, 0);
        QCOMPARE(m_log, QStringList({"window"}));
        QCoreApplication::processEvents();
        QCOMPARE(m_window->GetWindowProc(), record->OwnProc());
        m_log.clear();
        m_window->SendMessage(WM_USER, 0, 0);
        QCOMPARE(m_log.size(), 5);
        QCOMPARE(m_older->WinControl(), m_window.get());
        QVERIFY(m_older->Active() && m_newer->Active());
    }

    // Guarantee 7: the previous procedure comes back only while the slot still holds ours.
    void unsubclassRestoresOnlyOurOwn()
    {
        m_older->setWinControl(m_window.get());
        m_older->setActive(false);
        QCOMPARE(m_window->GetWindowProc(), m_original);
        TControlHook* record = m_older->attachment();
        QVERIFY(!record);
        m_older->setActive(true);
        record = m_older->attachment();
        QVERIFY(record);
        QCOMPARE(THookList::SharedHookList()->FindRecord(m_window.get()), record);

        // Someone else subclasses after us: leaving must not take their procedure away.
        const WNDPROC hooked = m_window->GetWindowProc();
        const WNDPROC theirs =
            MakeWindowProc([hooked](Form* w, std::uint32_t m, std::intptr_t wp, std::intptr_t lp) {
                return CallWindowProc(hooked, w, m, wp, lp);
            });
        m_window->SetWindowProc(theirs);
        m_older->setActive(false);
        QCOMPARE(m_window->GetWindowProc(), theirs);
        QVERIFY(!record->SavedProc());
        // Their chain still calls our procedure, which now hands on to the default handling.
        m_log.clear();
        m_window->SendMessage(WM_USER, 0, 0);
        QCOMPARE(m_log, QStringList());
    }

    void retargetingReleasesTheRecord()
    {
        TestWindow other;
        m_newer->setWinControl(m_window.get());
        TControlHook* recordA = m_newer->attachment();
        m_newer->setWinControl(&other);
        QCOMPARE(m_window->GetWindowProc(), m_original);
        QVERIFY(other.GetWindowProc() != other.DefWndProc());
        QCOMPARE(THookList::SharedHookList()->records().count(recordA), 1);
        QCoreApplication::processEvents();
        QCOMPARE(THookList::SharedHookList()->records().count(recordA), 0);

        // Back and forth before the loop turns: A's record is kept and used again.
        m_newer->setWinControl(m_window.get());
        recordA = m_newer->attachment();
        m_newer->setWinControl(&other);
        m_newer->setWinControl(m_window.get());
        QCOMPARE(m_newer->attachment(), recordA);
        QCoreApplication::processEvents();
        QCOMPARE(THookList::SharedHookList()->records().count(recordA), 1);
        QCOMPARE(m_newer->attachment(), recordA);
        m_newer->setWinControl(nullptr);
    }

    // Guarantee 8: the target's destruction detaches the hooks; Active stays.
    void targetDestroyed()
    {
        hookBoth();
        m_newer->setActive(false);
        m_log.clear();
        m_window.reset();
        QCOMPARE(m_older->WinControl(), nullptr);
        QCOMPARE(m_newer->WinControl(), nullptr);
        QVERIFY(m_older->Active());
        QVERIFY(!m_newer->Active());
        // The hooks saw nothing of the dying window, not even its WM_DESTROY.
        QCOMPARE(m_log, QStringList());
        QCoreApplication::processEvents();
        QVERIFY(!THookList::SharedHookList()->FindRecord(nullptr));
    }

    void hookWithoutTargetWaitsForOne()
    {
        QVERIFY(m_older->Active());
        QVERIFY(!m_older->attachment());
        QCOMPARE(m_older->WinControl(), nullptr);
        m_older->setWinControl(m_window.get());
        QVERIFY(m_older->attachment());
        m_older.reset();
        QCOMPARE(m_window->GetWindowProc(), m_original);
    }

    void formHookByOwner()
    {
        auto* hook = new TRxWindowHook(m_window.get());
        QVERIFY(!hook->IsForm());
        hook->setIsForm(true);
        QCOMPARE(hook->WinControl(), m_window.get());
        QVERIFY(hook->IsForm());
    }

private:
    void hookBoth()
    {
        m_older->setWinControl(m_window.get());
        m_newer->setWinControl(m_window.get());
    }

    std::unique_ptr<TestWindow> m_window;
    std::unique_ptr<TRxWindowHook> m_older;
    std::unique_ptr<TRxWindowHook> m_newer;
    WNDPROC m_original;
    QStringList m_log;
    QStringList m_errors;
    bool m_stopAfter = false;
};

QTEST_MAIN(TestRxWindowHook)
#include "tst_rxwindowhook.moc"
