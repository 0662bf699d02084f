#pragma once

#include "platform/winmsg.h"

#include <QWidget>

// A top-level form with a client area of a designed size. The border is single and fixed:
// the user cannot size the window, but it can be maximised, minimised and restored. Messages
// to the form take the path WndProc -> Dispatch -> DefaultHandler, as on Windows, so that a
// subclass handles a message by overriding Dispatch and passing the rest on.
class Form : public QWidget {
    Q_OBJECT

public:
    explicit Form(QSize clientSize, QWidget* parent = nullptr);

    // The widget that holds the form's controls; its size is the client size.
    QWidget* clientArea() const { return m_client; }

    // Sends a message to the form and returns the result its handling left (SendMessage).
    std::int32_t Perform(std::uint32_t msg, std::int32_t wParam, std::int32_t lParam);

    // Places the form in the middle of the primary screen.
    void centreOnScreen();

protected:
    virtual void WndProc(TMessage& message);
    virtual void Dispatch(TMessage& message);
    // What the system does with a message nobody handled: carries out system commands.
    virtual void DefaultHandler(TMessage& message);

    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void applySizeConstraints();

    QWidget* m_client;
    QSize m_clientSize;
};
