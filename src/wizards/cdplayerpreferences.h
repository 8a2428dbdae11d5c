#pragma once

#include <QDialog>

#include <functional>

class QButtonGroup;

namespace sv {

// How often the CD player asks the drive for its state. A choice is in effect at once;
// "&Ok" stores it in the settings file, "Cancel" (Escape, the close box) puts back the
// period that was in effect when the window opened.
class CdPlayerPreferences : public QDialog
{
    Q_OBJECT

public:
    struct Choice
    {
        QString text;
        int hundredths; // 0: do not check
    };
    // The choices in window order.
    static const QList<Choice> &choices();

    // Opens over `caller` (the player, which waits meanwhile) without blocking the rest of
    // the program; `closed` is told whether the choice was stored.
    static CdPlayerPreferences *open(QWidget *caller, std::function<void(bool stored)> closed = {});

    QButtonGroup *periods() const { return m_periods; }

public Q_SLOTS:
    void accept() override; // "&Ok"
    void reject() override; // "Cancel"
    void done(int result) override;

private:
    explicit CdPlayerPreferences(QWidget *caller);

    QButtonGroup *m_periods = nullptr;
    int m_openingPeriod = 0;
};

} // namespace sv
