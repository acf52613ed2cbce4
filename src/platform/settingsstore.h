#pragma once

#include "platform/inifile.h"

#include <QString>
#include <QStringList>
#include <QTimer>
#include <memory>
#include <optional>

namespace platform {

class Dialogs;

// The one settings store of a run ("Vexmoor.ini"), with the value encodings the program
// uses: on/off written "1"/"0" and read as on unless exactly "0"; integers as decimal text,
// read with blanks, a sign and "$" or "0x" hexadecimal prefixes accepted; colours as the
// decimal value of a 0x00BBGGRR word.
class SettingsStore {
public:
    explicit SettingsStore(const QString &fileName);
    // Writes what still waits (see setWriteDelay).
    ~SettingsStore();
    SettingsStore(const SettingsStore &) = delete;
    SettingsStore &operator=(const SettingsStore &) = delete;

    // With a delay above 0, a coalesced write (writeCoalesced) reaches the file at most that
    // many milliseconds later, together with every other one made in the meantime: hundreds
    // of profiles that each store a counter per new player then cost a few file writes a
    // second, not hundreds. Every other write (an operator's change) reaches the file at
    // once, with whatever waited. Reads see every write at once. 0 (the default): every
    // write reaches the file at once.
    void setWriteDelay(int ms);
    // Writes what waits now; false when the file could not be written.
    bool flush();

    // While a batch is open every write waits as a coalesced one does, and the end of the
    // outermost batch writes them all: the start of a run, where every stored profile
    // writes its keys again, then costs one file write, not one per profile.
    class Batch {
    public:
        explicit Batch(SettingsStore &store) : m_store(store) { ++m_store.m_batches; }
        ~Batch() {
            if (--m_store.m_batches == 0 && m_store.m_file->pending()) m_store.flush();
        }
        Batch(const Batch &) = delete;
        Batch &operator=(const Batch &) = delete;

    private:
        SettingsStore &m_store;
    };

    QString read(const QString &section, const QString &key, const QString &def = {}) const;
    void write(const QString &section, const QString &key, const QString &value);
    // A frequent automatic write that may wait for the write delay.
    void writeCoalesced(const QString &section, const QString &key, const QString &value);
    QStringList sections() const;
    QList<QPair<QString, QString>> pairs(const QString &section) const;
    void eraseSection(const QString &section);
    // Copies every pair of section from into section to (overwriting keys), then erases from.
    void MoveSection(const QString &from, const QString &to);

    bool readBool(const QString &section, const QString &key, bool def) const;
    void writeBool(const QString &section, const QString &key, bool value);
    // The integer value, or nothing when the key is missing or does not parse.
    std::optional<int> readInt(const QString &section, const QString &key) const;
    void writeInt(const QString &section, const QString &key, int value);

    QString fileName() const;

    // Where failed writes are told (nullptr: nowhere). A failure is told once; after a write
    // that succeeds again, the next failure is told again. The run goes on either way.
    void reportFailuresTo(Dialogs *dialogs) { m_failures = dialogs; }

private:
    // Tells a failed write of the file (ok false) as described above.
    void check(bool ok);

    // After a coalesced change: the file now, or the timer started when writes are delayed.
    void changed(bool ok);
    // After any other change: the file now.
    void changedNow(bool ok);

    std::unique_ptr<IniFile> m_file;
    QTimer m_flushTimer;
    Dialogs *m_failures = nullptr;
    bool m_failing = false;
    int m_batches = 0;
};

// The integer forms settings accept: [blanks][sign](digits | "$"hex | "0x"hex).
std::optional<int> parseSettingsInt(const QString &text);
// "1" / "0"; and on unless exactly "0".
inline QString boolText(bool b) {
    return b ? QStringLiteral("1") : QStringLiteral("0");
}
inline bool isOn(const QString &text) {
    return text != QLatin1String("0");
}

} // namespace platform
