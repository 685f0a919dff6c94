#include "ui/LongOperation.h"

#include "ui/EventLoop.h"
#include "ui/StatusPanels.h"

#include <algorithm>

namespace ui {

LongOperation::LongOperation(bool &abortFlag, Options options)
    : m_abort(&abortFlag)
    , m_options(std::move(options))
{
    *m_abort = false;
    start();
}

LongOperation::LongOperation(Options options)
    : m_options(std::move(options))
{
    start();
}

LongOperation::~LongOperation()
{
    try {
        finish();
    } catch (...) {
        // A destructor on the way out of an exception must not throw again.
    }
}

void LongOperation::start()
{
    // An Escape pressed before the operation is not a request to stop it.
    EscapeWatcher::clear();
    m_status = m_options.status;
    if (m_options.hourglass)
        m_previousPointer = MousePointer::current();
    // From here on the destructor will not run if something throws: undo by hand.
    try {
        if (m_status && m_options.panel >= 1 && m_options.panel <= m_status->PanelCount()) {
            m_previousText = m_status->Panels(m_options.panel).Text();
            m_textWrites = m_status->Panels(m_options.panel).textWrites();
        }
        for (QWidget *widget : m_options.disable) {
            if (widget)
                m_disabled.emplace_back(widget, widget->testAttribute(Qt::WA_ForceDisabled));
        }
        if (m_options.lookOnceEventsRun)
            m_look = std::make_unique<BeforeEventLoop>([this] { showLook(); });
        else
            showLook();
        if (m_status && m_options.progressMaximum >= 0) {
            m_status->showProgress(m_options.progressMaximum);
            m_progressShown = true;
        }
    } catch (...) {
        finish();
        throw;
    }
}

void LongOperation::showLook()
{
    if (m_options.hourglass)
        MousePointer::setHourglass();
    if (m_status && !m_options.text.isEmpty() && m_options.panel >= 1 && m_options.panel <= m_status->PanelCount()) {
        StatusPanel &panel = m_status->Panels(m_options.panel);
        // Held back, the operation's text must not cover one set since it began.
        if (!m_look || panel.textWrites() == m_textWrites)
            panel.setText(m_options.text);
    }
    for (const auto &[widget, forced] : m_disabled) {
        if (widget)
            widget->setEnabled(false);
    }
}

bool LongOperation::step(bool now)
{
    if (now)
        yieldEventsNow();
    else
        yieldEvents();
    return aborted();
}

bool LongOperation::aborted() const
{
    return m_abort && *m_abort;
}

void LongOperation::setText(const QString &text)
{
    if (m_status && m_options.panel >= 1 && m_options.panel <= m_status->PanelCount())
        m_status->Panels(m_options.panel).setText(text);
}

void LongOperation::showProgress(int maximum)
{
    if (!m_status || m_finished)
        return;
    m_status->showProgress(std::max(maximum, 0));
    m_progressShown = true;
}

void LongOperation::setProgress(int value)
{
    if (m_status && m_progressShown)
        m_status->setProgressValue(value);
}

void LongOperation::advanceProgress(int by)
{
    if (m_status && m_progressShown)
        m_status->advanceProgress(by);
}

void LongOperation::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    m_look.reset(); // not shown yet: it never will be
    // Each step on its own, so that one failing does not leave the rest undone.
    if (m_status) {
        if (m_progressShown)
            m_status->hideProgress();
        if (m_options.panel >= 1 && m_options.panel <= m_status->PanelCount()) {
            if (m_options.restore == Restore::Ready)
                m_status->Panels(m_options.panel).setText(m_options.readyText);
            else if (m_options.restore == Restore::Previous)
                m_status->Panels(m_options.panel).setText(m_previousText);
        }
    }
    for (auto it = m_disabled.rbegin(); it != m_disabled.rend(); ++it) {
        if (it->first)
            it->first->setEnabled(!it->second);
    }
    m_disabled.clear();
    if (m_options.clearAbortAtEnd && m_abort)
        *m_abort = false;
    if (m_options.hourglass)
        MousePointer::set(m_previousPointer);
}

} // namespace ui
