#include "QtSound.h"

#include <QCoreApplication>
#include <QHash>
#include <QSoundEffect>
#include <QUrl>

namespace platform {

void QtSound::play(const std::string &path)
{
    QCoreApplication *application = QCoreApplication::instance();
    if (!application)
        return;
    const QString file = QString::fromStdString(path);
    QMetaObject::invokeMethod(
        application,
        [application, file] {
            // One effect a file, kept for the life of the application.
            static QHash<QString, QSoundEffect *> effects;
            QSoundEffect *&effect = effects[file];
            if (!effect) {
                effect = new QSoundEffect(application);
                effect->setSource(QUrl::fromLocalFile(file));
            }
            effect->play();
        },
        Qt::QueuedConnection);
}

} // namespace platform
