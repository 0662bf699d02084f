// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "widgets/rxwindowhook.h"

#include "platform/exceptiondisplay.h"

#include <QCoreApplication>

namespace {

THookList* sharedList = nullptr;
int nextRecordId = 0;

void destroySharedList()
{
    delete std::exchange(sharedList, nullptr);
}

} // namespace

// --- TControlHook ---

TControlHook::TControlHook(THookList* list)
    : m_list(list), m_self(std::make_shared<TControlHook*>(this)), m_id(++nextRecordId)
{
    m_ownProc =
        MakeWindowProc([self = m_self](Form* window, std::uint32_t msg, std::intptr_t wParam,
                                       std::intptr_t lParam) -> std::intptr_t {
            if (!*self)
                return CallWindowProc(window->DefWndProc(), window, msg, wParam, lParam);
            TMessage message{msg, wParam, lParam, 0};
            (*self)->ProcessMessage(message);
            return message.Result;
        });
}

TControlHook::~TControlHook()
{
    m_closing = true;
    if (m_list)
        m_list->remove(this);
    while (!m_hooks.isEmpty())
        Leave(m_hooks.last());
    m_target = nullptr;
    *m_self = nullptr;
    m_ownProc.reset();
}

void TControlHook::Join(TRxWindowHook* hook)
{
    if (!m_hooks.contains(hook)) {
        m_hooks.append(hook);
        hook->m_attachment = this;
        Retarget(hook->m_requestedTarget);
    }
    Subclass();
}

void TControlHook::Leave(TRxWindowHook* hook)
{
    hook->m_attachment = nullptr;
    m_hooks.removeAll(hook);
    if (m_hooks.isEmpty())
        Unsubclass();
}

void TControlHook::Retarget(Form* control)
{
    if (control == m_target)
        return;
    Unsubclass();
    m_target = control;
    if (!m_hooks.isEmpty())
        Subclass();
}

void TControlHook::Subclass()
{
    if (!m_target || m_target->isDestroying() || m_closing)
        return;
    m_target->HandleNeeded();
    const WNDPROC current = m_target->GetWindowProc();
    if (current != m_ownProc) {
        m_savedProc = current;
        m_target->SetWindowProc(m_ownProc);
    }
}

void TControlHook::Unsubclass()
{
    // Someone who replaced the procedure after us keeps the slot; we only forget ours.
    if (m_target && m_savedProc && m_target->HandleAllocated() &&
        m_target->GetWindowProc() == m_ownProc)
        m_target->SetWindowProc(m_savedProc);
    m_savedProc.reset();
}

void TControlHook::Broadcast(Phase phase, TMessage& Msg, bool& Handled)
{
    if (m_hooks.isEmpty() || !m_target || m_closing || m_target->isDestroying())
        return;
    // Newest first. A hook that leaves during the phase shortens the list; positions past its
    // end are skipped.
    for (qsizetype i = m_hooks.size() - 1; i >= 0; --i) {
        if (i < m_hooks.size()) {
            TRxWindowHook* hook = m_hooks.at(i);
            try {
                if (phase == Phase::Before)
                    hook->RaiseBefore(Msg, Handled);
                else
                    hook->RaiseAfter(Msg, Handled);
            } catch (...) {
                showCurrentException();
            }
        }
        if (Handled)
            break;
    }
}

void TControlHook::ProcessMessage(TMessage& Msg)
{
    bool handled = false;
    if (!m_target)
        return;
    Form* target = m_target;
    if (Msg.Msg != WM_QUIT)
        Broadcast(Phase::Before, Msg, handled);
    if (!handled || Msg.Msg == WM_DESTROY) {
        try {
            Msg.Result = CallWindowProc(m_savedProc ? m_savedProc : target->DefWndProc(), target,
                                        Msg.Msg, Msg.WParam, Msg.LParam);
        } catch (...) {
            Broadcast(Phase::After, Msg, handled);
            throw;
        }
        Broadcast(Phase::After, Msg, handled);
    }
    if (Msg.Msg == WM_DESTROY) {
        Unsubclass();
        // A window whose form lives on is being recreated: follow it once the loop turns.
        if (THookList::existing() && !m_closing && m_target && !m_target->isDestroying())
            PostMessage(THookList::existing(), HookReinstallMsg, 0, m_id);
    }
}

// --- THookList ---

THookList* THookList::SharedHookList()
{
    if (!sharedList) {
        sharedList = new THookList;
        qAddPostRoutine(destroySharedList);
    }
    return sharedList;
}

THookList* THookList::existing()
{
    return sharedList;
}

THookList::~THookList()
{
    while (!m_records.isEmpty())
        delete m_records.takeLast();
}

TControlHook* THookList::FindRecord(Form* control) const
{
    if (!control)
        return nullptr;
    for (TControlHook* record : m_records) {
        if (record->Target() == control)
            return record;
    }
    return nullptr;
}

TControlHook* THookList::ObtainRecord(Form* control)
{
    TControlHook* record = FindRecord(control);
    if (record)
        return record;
    auto* created = new TControlHook(this);
    try {
        m_records.append(created);
        created->Retarget(control);
    } catch (...) {
        delete created;
        throw;
    }
    return created;
}

TControlHook* THookList::recordById(int id) const
{
    for (TControlHook* record : m_records) {
        if (record->id() == id)
            return record;
    }
    return nullptr;
}

bool THookList::event(QEvent* event)
{
    if (event->type() != MessageEvent::eventType())
        return QObject::event(event);
    try {
        handleMessage(static_cast<MessageEvent*>(event)->message);
    } catch (...) {
        showCurrentException();
    }
    return true;
}

void THookList::handleMessage(TMessage& message)
{
    TControlHook* record =
        message.LParam != 0 ? recordById(static_cast<int>(message.LParam)) : nullptr;
    if (message.Msg == HookReinstallMsg) {
        if (record)
            record->Subclass();
    } else if (message.Msg == HookReleaseMsg) {
        // A record that was joined again meanwhile stays.
        if (record && record->Hooks().isEmpty())
            delete record;
    }
}

// --- TRxWindowHook ---

TRxWindowHook::TRxWindowHook(QObject* owner) : QObject(owner) {}

TRxWindowHook::~TRxWindowHook()
{
    m_destroying = true;
    setActive(false);
    setWinControl(nullptr);
}

void TRxWindowHook::setActive(bool active)
{
    if (active == m_active)
        return;
    if (active)
        StartHook();
    else
        StopHook();
}

Form* TRxWindowHook::WinControl() const
{
    return m_attachment ? m_attachment->Target() : m_requestedTarget.data();
}

void TRxWindowHook::setWinControl(Form* control)
{
    if (control == WinControl())
        return;
    const bool wasActive = m_active;
    TControlHook* old = m_attachment;
    StopHook();
    m_requestedTarget = control;
    QObject::disconnect(m_removal);
    if (control) {
        m_removal = connect(control, &Form::destroying, this, [this, control] {
            if (WinControl() == control)
                setWinControl(nullptr);
        });
    }
    if (old && old->Hooks().isEmpty() && THookList::existing())
        PostMessage(THookList::existing(), HookReleaseMsg, 0, old->id());
    if (wasActive)
        StartHook();
}

bool TRxWindowHook::IsForm() const
{
    Form* target = WinControl();
    return target && target == parent() && qobject_cast<Form*>(parent());
}

void TRxWindowHook::setIsForm(bool isForm)
{
    if (isForm) {
        if (auto* owner = qobject_cast<Form*>(parent()))
            setWinControl(owner);
    }
}

void TRxWindowHook::StartHook()
{
    if (m_requestedTarget && !m_destroying)
        THookList::SharedHookList()->ObtainRecord(m_requestedTarget)->Join(this);
    m_active = true;
}

void TRxWindowHook::StopHook()
{
    if (m_attachment)
        m_attachment->Leave(this);
    m_active = false;
}

void TRxWindowHook::RaiseAfter(TMessage& Msg, bool& Handled)
{
    if (AfterMessage)
        AfterMessage(this, Msg, Handled);
}

void TRxWindowHook::RaiseBefore(TMessage& Msg, bool& Handled)
{
    if (BeforeMessage)
        BeforeMessage(this, Msg, Handled);
}
