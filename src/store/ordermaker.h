#pragma once

#include "schema.h"

#include <QString>

#include <atomic>
#include <thread>

struct sqlite3;

namespace sv {

class Table;

// Makes the index of an order made on demand (KeyDef::onDemand) on a connection and a
// thread of its own, so that the window that asked goes on answering meanwhile. Cancel
// stops it with nothing made; so does the end of the maker's life.
class OrderMaker
{
public:
    OrderMaker(Table &table, int key);
    ~OrderMaker();
    OrderMaker(const OrderMaker &) = delete;
    OrderMaker &operator=(const OrderMaker &) = delete;

    bool isFinished() const { return m_finished; }
    // Once finished: whether the index is there, else why not (the engine's words).
    [[nodiscard]] bool succeeded() const { return m_succeeded; }
    QString failure() const { return m_failure; }
    void cancel();

    // Whether the order's index is there already (always for a key of the file's layout).
    [[nodiscard]] static bool isReady(Table &table, int key);

private:
    void make(const QString &statement);

    sqlite3 *m_db = nullptr;
    std::atomic<bool> m_finished{false};
    bool m_succeeded = false;
    QString m_failure;
    std::thread m_thread;
};

} // namespace sv
