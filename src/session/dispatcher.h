#pragma once

#include <QChar>
#include <array>
#include <functional>

// The table from report code letter to handler.
class ReportDispatcher {
public:
    using Handler = std::function<void()>;

    void set(char code, Handler handler) {
        m_handlers[static_cast<unsigned char>(code) & 0x7F] = std::move(handler);
    }
    // Runs the handler of code; false when the code has none.
    bool dispatch(QChar code) const {
        if (code.unicode() >= 128 || !m_handlers[code.unicode()]) return false;
        m_handlers[code.unicode()]();
        return true;
    }

private:
    std::array<Handler, 128> m_handlers;
};
