// The record navigator of the edit panel: first, previous, next and last
// record of the bound question table, with its caption between the buttons.
#pragma once

#include <QFrame>

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

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void UpdateButtons();

    QuestionTable& table_;
    QToolButton* first_;
    QToolButton* previous_;
    QToolButton* next_;
    QToolButton* last_;
    QLabel* caption_;
};

}  // namespace scrivane
