#pragma once

#include <QLabel>

// A one-line label for texts that name files: when the text is wider than
// the label it loses its middle, never its ends (the folder's start and the
// file's name both stay), and the whole text is the tooltip. It asks for
// little width, so a long text never widens the window.
class ElidedLabel : public QLabel
{
    Q_OBJECT

public:
    explicit ElidedLabel(QWidget *parent = nullptr);

    void setFullText(const QString &text);
    QString fullText() const { return full; }

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void elide();

    QString full;
};
