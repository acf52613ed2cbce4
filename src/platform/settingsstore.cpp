#include "platform/settingsstore.h"

#include "platform/dialogs.h"

#include <limits>

namespace platform {

namespace {
std::string s8(const QString &s) {
    return s.toStdString();
}
QString q(const std::string &s) {
    return QString::fromStdString(s);
}
} // namespace

SettingsStore::SettingsStore(const QString &fileName)
    : m_file(std::make_unique<IniFile>(fileName.toStdString())) {
    m_flushTimer.setSingleShot(true);
    QObject::connect(&m_flushTimer, &QTimer::timeout, [this] { flush(); });
}

SettingsStore::~SettingsStore() {
    m_flushTimer.stop();
    m_file->flush(); // nowhere left to tell a failure at this point
}

void SettingsStore::setWriteDelay(int ms) {
    m_file->setDeferred(ms > 0);
    m_flushTimer.setInterval(ms);
    if (ms <= 0) flush();
}

bool SettingsStore::flush() {
    m_flushTimer.stop();
    const bool ok = m_file->flush();
    check(ok);
    return ok;
}

void SettingsStore::changed(bool ok) {
    if (ok && m_file->pending()) {
        if (!m_flushTimer.isActive()) m_flushTimer.start();
        return;
    }
    check(ok);
}

void SettingsStore::changedNow(bool ok) {
    if (ok && m_file->pending() && m_batches == 0) {
        flush();
        return;
    }
    check(ok);
}

QString SettingsStore::fileName() const {
    return q(m_file->path().string());
}

QString SettingsStore::read(const QString &section, const QString &key, const QString &def) const {
    return q(m_file->read(s8(section), s8(key), s8(def)));
}

void SettingsStore::write(const QString &section, const QString &key, const QString &value) {
    changedNow(m_file->write(s8(section), s8(key), s8(value)));
}

void SettingsStore::writeCoalesced(const QString &section, const QString &key,
                                   const QString &value) {
    changed(m_file->write(s8(section), s8(key), s8(value)));
}

void SettingsStore::check(bool ok) {
    if (ok) {
        m_failing = false;
        return;
    }
    if (m_failing) return;
    m_failing = true;
    if (m_failures)
        m_failures->message(Dialogs::Icon::Error,
                            QStringLiteral("The settings file ") + fileName() +
                                QStringLiteral(" could not be written: changed settings are "
                                               "not saved."));
}

QStringList SettingsStore::sections() const {
    QStringList names;
    for (const std::string &s : m_file->sections())
        names.append(q(s));
    return names;
}

QList<QPair<QString, QString>> SettingsStore::pairs(const QString &section) const {
    QList<QPair<QString, QString>> result;
    for (const auto &[k, v] : m_file->pairs(s8(section)))
        result.append({q(k), q(v)});
    return result;
}

void SettingsStore::eraseSection(const QString &section) {
    changedNow(m_file->eraseSection(s8(section)));
}

void SettingsStore::MoveSection(const QString &from, const QString &to) {
    // Names match without regard to case: moving onto the same section must not erase it.
    if (from.compare(to, Qt::CaseInsensitive) == 0) return;
    const auto pairs = m_file->pairs(s8(from));
    bool ok = true;
    for (const auto &[key, value] : pairs)
        ok = m_file->write(s8(to), key, value) && ok;
    changedNow(m_file->eraseSection(s8(from)) && ok);
}

bool SettingsStore::readBool(const QString &section, const QString &key, bool def) const {
    return isOn(read(section, key, boolText(def)));
}

void SettingsStore::writeBool(const QString &section, const QString &key, bool value) {
    write(section, key, boolText(value));
}

std::optional<int> SettingsStore::readInt(const QString &section, const QString &key) const {
    const std::string missing = "\x01missing";
    const std::string value = m_file->read(s8(section), s8(key), missing);
    if (value == missing) return std::nullopt;
    return parseSettingsInt(q(value));
}

void SettingsStore::writeInt(const QString &section, const QString &key, int value) {
    write(section, key, QString::number(value));
}

std::optional<int> parseSettingsInt(const QString &text) {
    qsizetype i = 0;
    while (i < text.size() && text[i] == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+')))
        negative = text[i++] == QLatin1Char('-');
    int base = 10;
    if (i < text.size() && text[i] == QLatin1Char('$')) {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == QLatin1Char('0') &&
               (text[i + 1] == QLatin1Char('x') || text[i + 1] == QLatin1Char('X'))) {
        base = 16;
        i += 2;
    }
    if (i == text.size()) return std::nullopt;
    qint64 v = 0;
    for (; i < text.size(); ++i) {
        const int d =
            text[i].unicode() < 128 ? QChar::fromLatin1(char(text[i].unicode())).digitValue() : -1;
        int digit = d;
        if (base == 16 && digit < 0) {
            const char c = static_cast<char>(text[i].toLower().unicode());
            if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        }
        if (digit < 0 || digit >= base) return std::nullopt;
        v = v * base + digit;
        // Hexadecimal values may use all 32 bits (colours); decimal ones must fit an int.
        const qint64 limit = base == 16 ? 0xFFFFFFFFLL : std::numeric_limits<int>::max() + 1LL;
        if (v > limit) return std::nullopt;
    }
    if (negative) v = -v;
    if (base == 16 && v > std::numeric_limits<int>::max()) v -= 0x100000000LL;
    if (v > std::numeric_limits<int>::max() || v < std::numeric_limits<int>::min())
        return std::nullopt;
    return static_cast<int>(v);
}

} // namespace platform
