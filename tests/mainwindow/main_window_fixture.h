#pragma once

// The main window started in a scratch folder, with a recorder in place of the desktop.

#include "mainwindow/common_dlgs.h"
#include "mainwindow/frm_main.h"
#include "mainwindow/window_services.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMouseEvent>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

struct Message
{
    QString text, title;
    WindowServices::Icon icon;
};

// Records what the window asked of the desktop and answers from a script.
class RecordingServices : public WindowServices
{
public:
    QVector<Message> messages;
    QStringList calls;
    QString folderAnswer;
    QString fileAnswer;
    QStringList offeredFilters;

    void message(QWidget*, const QString& text, const QString& title, Icon icon) override
    {
        messages.append({text, title, icon});
    }
    QString chooseFolder(QWidget*) override
    {
        calls << QStringLiteral("chooseFolder");
        return folderAnswer;
    }
    bool showOpen(CommonDlgsW& dialog, QWidget* owner) override
    {
        calls << QStringLiteral("showOpen");
        dialog.setRunner([this](QWidget*, const QStringList& filters, const QString&,
                                const CommonDlgsW&) {
            offeredFilters = filters;
            return fileAnswer;
        });
        return dialog.ShowOpen(owner);
    }
    void showOptions(QWidget*, OptionsSettings&, const SettingsFolderChoice&) override
    {
        calls << QStringLiteral("showOptions");
    }
    void showMoreOptions(QWidget*, ExtraSettings&, const SettingsFolderChoice&) override
    {
        calls << QStringLiteral("showMoreOptions");
    }
    void showFeedback(QWidget*) override { calls << QStringLiteral("showFeedback"); }
    bool openHelp(const QString&) override
    {
        calls << QStringLiteral("openHelp");
        return true;
    }
    bool openProductPage(const QString&) override
    {
        calls << QStringLiteral("openProductPage");
        return true;
    }
    bool openFolder(const QString&) override
    {
        calls << QStringLiteral("openFolder");
        return true;
    }
};

class MainWindowTest : public ::testing::Test
{
protected:
    QTemporaryDir temp;
    RecordingServices services;
    QString settingsFillFrom; // a program folder the settings folder starts from

    QString path(const QString& name) const { return QDir(temp.path()).filePath(name); }

    void writeFile(const QString& name, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(path(name)).path());
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    std::unique_ptr<frmMain> start()
    {
        QDir().mkpath(path(QStringLiteral("settings")));
        MainWindowContext context;
        context.programFolder = path(QStringLiteral("program"));
        context.settings.folder = path(QStringLiteral("settings"));
        context.settings.fillFrom = settingsFillFrom;
        context.stagingFolder = path(QStringLiteral("staging"));
        context.defaultOutputFolder = path(QStringLiteral("output"));
        context.services = &services;
        return std::make_unique<frmMain>(context);
    }

    static void move(QWidget* widget, QPoint at = {2, 2})
    {
        QMouseEvent event(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton,
                          Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(widget, &event);
    }
    static void press(QWidget* widget)
    {
        QMouseEvent event(QEvent::MouseButtonPress, QPointF(2, 2), widget->mapToGlobal(QPointF(2, 2)),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(widget, &event);
    }
};
