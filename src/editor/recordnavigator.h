// The record navigator of the edit panel: first, previous, next and last
// record of the bound question table, with its caption between the buttons.
#pragma once

#include <QFrame>
#include <functional>

class QLabel;
class QToolButton;

namespace scrivane {

class QuestionTable;

class RecordNavigator : public QFrame {
    Q_OBJECT
public:
    explicit RecordNavigator(QuestionTable& table, QWidget* parent = nullptr);
    void setCaption(const QString& caption);
    QString caption() const;
    // Runs before every move; a move goes ahead only when it returns true.
    void SetLeaveCheck(std::function<bool()> check) { leaveCheck_ = std::move(check); }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void UpdateButtons();
    bool MayLeave() const { return !leaveCheck_ || leaveCheck_(); }

    QuestionTable& table_;
    QToolButton* first_;
    QToolButton* previous_;
    QToolButton* next_;
    QToolButton* last_;
    QLabel* caption_;
    std::function<bool()> leaveCheck_;
};

}  // namespace scrivane
