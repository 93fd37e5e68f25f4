#include "panel/messagebox.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QRegularExpression>

namespace lumavera {

namespace {

constexpr QChar WordJoiner(0x2060);

// A path is read whole: a line breaks after a slash, so "/dev/" and
// "ttyS0" would land on two lines. A word joiner after each slash of a word
// that starts with one keeps it on one line.
QString unbroken(const QString &text)
{
    static const QRegularExpression path(QStringLiteral("(?<![^\\s\"(])/\\S+"));
    QString out = text;
    for (auto m = path.globalMatch(text); m.hasNext();) {
        const QRegularExpressionMatch found = m.next();
        QString joined = found.captured();
        joined.replace(u'/', QStringLiteral("/") + WordJoiner);
        out.replace(found.captured(), joined);
    }
    return out;
}

// A box whose copied text is what it says, without the joiners.
class MessageBox : public QMessageBox
{
public:
    using QMessageBox::QMessageBox;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        QMessageBox::keyPressEvent(event);
        if (event == QKeySequence::Copy) {
            if (QClipboard *clipboard = QGuiApplication::clipboard())
                clipboard->setText(clipboard->text().remove(WordJoiner));
        }
    }
};

} // namespace

void ShowMessage(QWidget *owner, QMessageBox::Icon icon, const QString &text,
                 const QString &details)
{
    MessageBox box(icon, QCoreApplication::translate("MainWindow", "Lumavera"), unbroken(text),
                   QMessageBox::Ok, owner);
    box.setInformativeText(unbroken(details));
    box.exec();
}

QString WriteProblem(const WriteResult &result)
{
    return result.ok()
               ? QString()
               : QCoreApplication::translate("MainWindow", "Settings could not be saved: %1.")
                     .arg(result.reason);
}

} // namespace lumavera
