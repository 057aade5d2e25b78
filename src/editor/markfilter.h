// The key filter of the mark boxes: typed characters other than digits,
// backspace, '%', '\'' (and '.' where decimals are allowed) are discarded
// before they reach the box. Keys that type nothing, and shortcuts such as
// paste, pass untouched.
#pragma once

#include <QObject>

namespace scrivane {

class MarkKeyFilter : public QObject {
public:
    enum Decimals { NoPoint, AllowPoint };
    MarkKeyFilter(Decimals decimals, QObject* parent) : QObject(parent), decimals_(decimals) {}
    static bool Passes(QChar c, Decimals decimals);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Decimals decimals_;
};

}  // namespace scrivane
