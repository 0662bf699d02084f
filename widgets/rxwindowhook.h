// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

#include "platform/form.h"

#include <QList>
#include <QObject>
#include <QPointer>

#include <functional>

class TRxWindowHook;
class THookList;

// What a hook's BeforeMessage and AfterMessage handlers get: the message, which they may
// change, and Handled, which stops the phase (and, before, keeps the message from the window).
using THookMessageEvent = std::function<void(TRxWindowHook* Sender, TMessage& Msg, bool& Handled)>;

// The two requests the hook list defers to the event loop; LParam names the record.
inline constexpr std::uint32_t HookReinstallMsg = 0xB052;
inline constexpr std::uint32_t HookReleaseMsg = 0xB053;

// One hooked window: puts its own procedure into the window's slot, calls the attached hooks
// around the procedure that was there before, and takes itself out again when the last hook
// leaves. Several hooks on one window share one record.
class TControlHook {
public:
    enum class Phase { Before, After };

    explicit TControlHook(THookList* list);
    ~TControlHook();
    TControlHook(const TControlHook&) = delete;
    TControlHook& operator=(const TControlHook&) = delete;

    void Join(TRxWindowHook* hook);
    void Leave(TRxWindowHook* hook);
    void Retarget(Form* control);
    void Subclass();
    void Unsubclass();
    void Broadcast(Phase phase, TMessage& Msg, bool& Handled);
    void ProcessMessage(TMessage& Msg);

    Form* Target() const { return m_target; }
    const WNDPROC& OwnProc() const { return m_ownProc; }
    const WNDPROC& SavedProc() const { return m_savedProc; }
    const QList<TRxWindowHook*>& Hooks() const { return m_hooks; }
    bool Closing() const { return m_closing; }
    // The reference by which deferred requests name the record.
    int id() const { return m_id; }

private:
    THookList* m_list;
    QPointer<Form> m_target;
    WNDPROC m_ownProc;
    // The procedure reaches the record through this cell, which the record empties when it
    // goes: a window that still calls the procedure then gets its default handling.
    std::shared_ptr<TControlHook*> m_self;
    WNDPROC m_savedProc;
    QList<TRxWindowHook*> m_hooks;
    bool m_closing = false;
    int m_id;
};

// The process-wide list of records. It is also the receiver of the deferred requests.
class THookList : public QObject {
    Q_OBJECT

public:
    // The list, made on first use and destroyed with the application.
    static THookList* SharedHookList();
    // The list if it exists, without making it.
    static THookList* existing();
    ~THookList() override;

    TControlHook* FindRecord(Form* control) const;
    TControlHook* ObtainRecord(Form* control);
    TControlHook* recordById(int id) const;
    const QList<TControlHook*>& records() const { return m_records; }

    // Used by the records themselves.
    void remove(TControlHook* record) { m_records.removeAll(record); }

protected:
    bool event(QEvent* event) override;

private:
    THookList() = default;
    void handleMessage(TMessage& message);

    QList<TControlHook*> m_records;
};

// A component that watches every message of one form's window before and after the form's
// own processing.
class TRxWindowHook : public QObject {
    Q_OBJECT

public:
    explicit TRxWindowHook(QObject* owner = nullptr);
    ~TRxWindowHook() override;

    bool Active() const { return m_active; }
    void setActive(bool active);
    Form* WinControl() const;
    void setWinControl(Form* control);
    // True when the hook watches the form that owns it (how a form's resource names it).
    bool IsForm() const;
    void setIsForm(bool isForm);

    THookMessageEvent BeforeMessage;
    THookMessageEvent AfterMessage;

    void StartHook();
    void StopHook();

    TControlHook* attachment() const { return m_attachment; }

protected:
    virtual void RaiseAfter(TMessage& Msg, bool& Handled);
    virtual void RaiseBefore(TMessage& Msg, bool& Handled);

private:
    friend class TControlHook;

    bool m_active = true;
    QPointer<Form> m_requestedTarget;
    TControlHook* m_attachment = nullptr;
    QMetaObject::Connection m_removal;
    bool m_destroying = false;
};
