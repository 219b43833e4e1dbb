#include "platform/InterfaceLoader.h"

#include "platform/DropTarget.h"
#include "platform/Toolkit.h"
#include "ui_FilePage.h"
#include "ui_ImagePage.h"
#include "ui_LoginWindow.h"
#include "ui_MainWindow.h"
#include "ui_PastePage.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QMainWindow>
#include <QMetaMethod>
#include <QMetaProperty>

// The resources live in the static library, whose initialiser must be called by name from
// outside any namespace.
static void initResources() {
    Q_INIT_RESOURCE(ferrodock);
}

namespace ferrodock {

void registerInterfaceResources() {
    initResources();
}

namespace {

// Every object of the interface, windows included.
QList<QObject*> allObjects(const Interface& interface) {
    QList<QObject*> objects;
    objects << interface.mainWindow.get() << interface.mainWindow->findChildren<QObject*>();
    if (interface.loginWindow) {
        objects << interface.loginWindow.get() << interface.loginWindow->findChildren<QObject*>();
    }
    return objects;
}

QString describe(const QObject* object) {
    return QStringLiteral("%1 '%2'").arg(QLatin1String(object->metaObject()->className()),
                                         object->objectName());
}

QString connectOutlets(QObject& delegate, const QList<QObject*>& objects) {
    const QMetaObject* meta = delegate.metaObject();
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        const QString name = QLatin1String(property.name());
        const QMetaObject* wanted = property.metaType().metaObject();
        if (!wanted || !property.isWritable()) continue;  // not an outlet

        QList<QObject*> found;
        for (QObject* object : objects) {
            if (object->objectName() == name) found << object;
        }
        if (found.isEmpty()) {
            return QStringLiteral("outlet '%1': the interface has no widget named '%1'").arg(name);
        }
        if (found.size() > 1) {
            return QStringLiteral("outlet '%1': the interface has %2 widgets named '%1'")
                .arg(name)
                .arg(found.size());
        }
        QObject* widget = found.first();
        if (!widget->metaObject()->inherits(wanted)) {
            return QStringLiteral("outlet '%1': %2 is not a %3")
                .arg(name, describe(widget), QLatin1String(wanted->className()));
        }
        if (!property.write(&delegate, QVariant::fromValue(widget))) {
            return QStringLiteral("outlet '%1': cannot connect %2").arg(name, describe(widget));
        }
    }
    return {};
}

QString connectActions(QObject& delegate, const QList<QObject*>& objects) {
    for (QObject* object : objects) {
        const QVariant sends = object->property("sends");
        if (sends.isValid()) {
            const QByteArray signature = sends.toString().toLatin1() + "(QObject*)";
            const int index = delegate.metaObject()->indexOfSlot(signature.constData());
            if (index < 0) {
                return QStringLiteral("%1 sends '%2', which is no action of %3")
                    .arg(describe(object), sends.toString(),
                         QLatin1String(delegate.metaObject()->className()));
            }
            const QMetaMethod action = delegate.metaObject()->method(index);
            auto send = [&delegate, action, object] {
                action.invoke(&delegate, Qt::DirectConnection, Q_ARG(QObject*, object));
            };
            if (auto* button = qobject_cast<QAbstractButton*>(object)) {
                QObject::connect(button, &QAbstractButton::clicked, &delegate, send);
            } else if (auto* menuItem = qobject_cast<QAction*>(object)) {
                QObject::connect(menuItem, &QAction::triggered, &delegate, send);
            } else {
                return QStringLiteral("%1 sends '%2' but cannot be pressed")
                    .arg(describe(object), sends.toString());
            }
        }

        const QString dropSends = object->property("dropSends").toString();
        if (!dropSends.isEmpty()) {
            const QByteArray signature = dropSends.toLatin1() + "(QString)";
            const int index = delegate.metaObject()->indexOfSlot(signature.constData());
            if (index < 0 || !object->isWidgetType()) {
                return QStringLiteral("%1 sends dropped files to '%2', which is no slot of %3")
                    .arg(describe(object), dropSends,
                         QLatin1String(delegate.metaObject()->className()));
            }
            const QMetaMethod slot = delegate.metaObject()->method(index);
            const QStringList types = object->property("dropTypes")
                                          .toString()
                                          .split(QLatin1Char(' '), Qt::SkipEmptyParts);
            acceptFileDrops(static_cast<QWidget*>(object), types,
                            [&delegate, slot](const QString& path) {
                                slot.invoke(&delegate, Qt::DirectConnection, Q_ARG(QString, path));
                            });
        }

        auto* menuItem = qobject_cast<QAction*>(object);
        if (!menuItem) continue;
        const QString opens = object->property("opens").toString();
        if (!opens.isEmpty()) {
            QWidget* target = nullptr;
            for (QObject* candidate : objects) {
                if (candidate->objectName() == opens && candidate->isWidgetType()) {
                    target = static_cast<QWidget*>(candidate);
                }
            }
            if (!target || !target->isWindow()) {
                return QStringLiteral("%1 opens '%2', which is no window of the interface")
                    .arg(describe(object), opens);
            }
            QWidget* over = nullptr;  // the main window, to open over
            for (QObject* candidate : objects) {
                if (auto* window = qobject_cast<QMainWindow*>(candidate)) over = window;
            }
            QObject::connect(menuItem, &QAction::triggered, target, [target, over] {
                if (!target->isVisible() && over && over != target) {
                    target->move(over->geometry().center() - target->rect().center());
                }
                target->show();
                target->raise();
                target->activateWindow();
            });
        }
        if (object->property("quits").toBool()) {
            QObject::connect(menuItem, &QAction::triggered, qApp, &QCoreApplication::quit,
                             Qt::QueuedConnection);
        }
    }
    return {};
}

}  // namespace

Interface buildInterface() {
    registerInterfaceResources();
    Interface interface;
    interface.mainWindow = std::make_unique<QMainWindow>();
    QMainWindow* window = interface.mainWindow.get();
    Ui::MainWindow().setupUi(window);

    // Page views wait on a hidden shelf of the main window until shown.
    QWidget* shelf = toolkit::viewShelf(window);
    Ui::FilePage().setupUi(new QWidget(shelf));
    Ui::ImagePage().setupUi(new QWidget(shelf));
    Ui::PastePage().setupUi(new QWidget(shelf));

    interface.loginWindow = std::make_unique<QDialog>();
    Ui::LoginWindow().setupUi(interface.loginWindow.get());

    // The hidden state buttons only carry titles.
    for (const char* name : {"savedusername", "savedapikey", "savedpath"}) {
        if (auto* hidden = window->findChild<QWidget*>(QLatin1String(name))) hidden->hide();
    }
    return interface;
}

QString connectInterface(QObject& delegate, const Interface& interface) {
    if (!interface.mainWindow) return QStringLiteral("the interface has no main window");
    const QList<QObject*> objects = allObjects(interface);
    QString problem = connectOutlets(delegate, objects);
    if (problem.isEmpty()) problem = connectActions(delegate, objects);
    return problem;
}

}  // namespace ferrodock
