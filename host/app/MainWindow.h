#pragma once

#include <QLibrary>
#include <QMainWindow>
#include <QVariant>

class QMdiArea;
class THistoricoGNRE;

// The host client's main window: screens open as child windows of its area.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Loads a module on demand and calls its entry with the parameters.
    void openModule(const QString &module, const QVariant &params);
    // Asks for the guide type and the company, then opens FIS94100.
    void openParamGNRE();
    // Closes the sub-window showing `screen` as its close button does, and
    // frees it at once (a screen shown outside the area: nothing happens).
    static void closeSubWindowOf(QWidget *screen);
    // Opens (or brings to the front) the history of changes.
    THistoricoGNRE *openHistory();

private:
    QMdiArea *m_area;
    QList<QLibrary *> m_modules;
};
