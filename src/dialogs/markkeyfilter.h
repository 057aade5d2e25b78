// The key filter of the mark and amount boxes: typed characters other than
// digits, backspace, '%', '\'' (and '.' where decimals are allowed) are
// discarded before they reach the box. Keys that type nothing and Ctrl
// chords such as paste pass untouched: pasted text is not filtered.
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
