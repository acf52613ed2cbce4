#include "app/gui/tzprogress.h"

#include <QApplication>
#include <QFontDatabase>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

namespace {
int openWindows = 0;
// The window is brought up to date at most this often while the engine advances it.
constexpr int RepaintEveryMs = 40;

// While the engine copies a table only drawing may happen: no operator input, no socket
// data and no timers, since any of them could run a record command in the middle of the copy.
constexpr auto DrawOnly = QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers |
                          QEventLoop::X11ExcludeTimers;
} // namespace

TTzMsg::TTzMsg(const QString &caption, QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_caption(new QLabel(caption, this)) {
    setObjectName(QStringLiteral("TTzMsg"));
    setWindowTitle(caption);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAutoFillBackground(true);
    m_caption->setAlignment(Qt::AlignCenter);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 8, 12, 8);
    layout->addWidget(m_caption);
}

QString TTzMsg::caption() const {
    return m_caption->text();
}

TTzProgress100::TTzProgress100(const QString &caption, QWidget *parent)
    : TTzMsg(caption, parent), m_marks(new QLabel(QString(100, QLatin1Char('|')), this)) {
    setObjectName(QStringLiteral("TTzProgress100"));
    ++openWindows;
    m_marks->setObjectName(QStringLiteral("Marks"));
    m_marks->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_marks->setMinimumWidth(m_marks->sizeHint().width());
    m_marks->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    layout()->addWidget(m_marks);
    setStyleSheet(QStringLiteral("TTzProgress100 { border: 1px solid palette(dark); }"));
    showNow();
}

TTzProgress100::~TTzProgress100() {
    --openWindows;
}

bool TTzProgress100::running() {
    return openWindows > 0;
}

void TTzProgress100::showNow() {
    adjustSize();
    // Centred over the active window, or the screen without one.
    QRect over;
    if (QWidget *active = QApplication::activeWindow())
        over = active->frameGeometry();
    else if (QScreen *screen = QGuiApplication::primaryScreen())
        over = screen->availableGeometry();
    if (over.isValid()) move(over.center() - rect().center());
    show();
    raise();
    QCoreApplication::processEvents(DrawOnly);
    m_sinceShown.start();
}

void TTzProgress100::Advance() {
    if (m_left <= 0) return;
    --m_left;
    m_marks->setText(QString(m_left, QLatin1Char('|')));
    if (m_sinceShown.elapsed() < RepaintEveryMs && m_left > 0) return;
    m_sinceShown.restart();
    QCoreApplication::processEvents(DrawOnly);
}

dbf::TTzProgressFactory TTzProgress100::factory() {
    return [](const std::string &caption) -> std::unique_ptr<dbf::TTzProgress100> {
        return std::make_unique<TTzProgress100>(QString::fromStdString(caption));
    };
}

TzProgressInstaller::TzProgressInstaller()
    : m_previous(dbf::SetProgressFactory(TTzProgress100::factory())) {}

TzProgressInstaller::~TzProgressInstaller() {
    dbf::SetProgressFactory(std::move(m_previous));
}
