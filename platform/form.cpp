#include "platform/form.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>

Form::Form(QSize clientSize, QWidget* parent)
    : QWidget(parent, Qt::Window), m_client(new QWidget(this)), m_clientSize(clientSize)
{
    resize(clientSize);
    applySizeConstraints();
}

std::int32_t Form::Perform(std::uint32_t msg, std::int32_t wParam, std::int32_t lParam)
{
    TMessage message{msg, wParam, lParam, 0};
    WndProc(message);
    return message.Result;
}

void Form::centreOnScreen()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
}

void Form::WndProc(TMessage& message)
{
    Dispatch(message);
}

void Form::Dispatch(TMessage& message)
{
    DefaultHandler(message);
}

void Form::DefaultHandler(TMessage& message)
{
    if (message.Msg != WM_SYSCOMMAND)
        return;
    // The low four bits of a system command are used by the system itself.
    switch (message.WParam & 0xFFF0) {
    case SC_MINIMIZE:
        showMinimized();
        break;
    case SC_MAXIMIZE:
        // The fixed size must go before the window can take the size of the screen.
        setMinimumSize(0, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowMaximized);
        break;
    case SC_RESTORE:
        if (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen))
            showNormal();
        break;
    case SC_CLOSE:
        close();
        break;
    default:
        break;
    }
}

void Form::resizeEvent(QResizeEvent* event)
{
    m_client->setGeometry(rect());
    QWidget::resizeEvent(event);
}

void Form::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::WindowStateChange)
        applySizeConstraints();
    QWidget::changeEvent(event);
}

void Form::applySizeConstraints()
{
    // A fixed border: the normal window keeps its designed size, a maximised one fills the
    // screen.
    if (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) {
        setMinimumSize(0, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    } else if (!(windowState() & Qt::WindowMinimized)) {
        setFixedSize(m_clientSize);
    }
}
