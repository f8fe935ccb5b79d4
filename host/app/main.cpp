// fis94100-host: the host client that opens the screen modules.
#include "ADOIBQuery.h"
#include "Application.h"
#include "Dialogs.h"
#include "MainWindow.h"

#include <QCommandLineParser>
#include <QFile>
#include <cstdio>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTimer>

int main(int argc, char **argv)
{
    THostApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("fis94100-host"));
    rt::Dialogs::setApplicationTitle(QStringLiteral("Sistema Fiscal"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Host client of the fiscal screens. Settings come from the options, the environment "
        "(FIS94100_SERVER_HOST, FIS94100_SERVER_PORT, FIS94100_HOST_DRIVER, FIS94100_HOST_DATABASE, "
        "FIS94100_MODULE_DIR) or the settings file (FIS94100_CONFIG)."));
    parser.addHelpOption();
    const QCommandLineOption version("version", "Prints the version and exits.");
    const QCommandLineOption open("open", "Opens FIS94100 at start for a guide type and a company code, e.g. GON:01.", "guide:company");
    const QCommandLineOption db("database", "Host database: SQLite file or Firebird host/port:path [FIS94100_HOST_DATABASE].", "db");
    const QCommandLineOption driver("driver", "Host database engine: sqlite or firebird [FIS94100_HOST_DRIVER].", "engine");
    const QCommandLineOption server("server", "Parameter service as host:port [FIS94100_SERVER_HOST/PORT].", "host:port");
    const QCommandLineOption shot("screenshot", "Saves a picture of the main window to FILE after start and quits.", "file");
    const QCommandLineOption page("page", "With --open: the page to show, as a user would choose it (0 or 1).", "n");
    parser.addOptions({version, open, db, driver, server, shot, page});
    parser.process(app);
    if (parser.isSet(version)) {
        std::printf("fis94100-host %s (Qt %s)\n", FIS94100_VERSION, qVersion());
        return 0;
    }
    // Nonsense on the command line is refused before anything opens.
    auto refuse = [](const QString &why) {
        std::fprintf(stderr, "fis94100-host: %s\n", qPrintable(why));
        return 2;
    };
    const QString engine = parser.isSet(driver) ? parser.value(driver) : qEnvironmentVariable("FIS94100_HOST_DRIVER", QStringLiteral("sqlite"));
    if (engine != QLatin1String("sqlite") && engine != QLatin1String("firebird"))
        return refuse(QStringLiteral("unknown database engine '%1' (sqlite or firebird)").arg(engine));
    if (parser.isSet(open)) {
        const QStringList gc = parser.value(open).split(QLatin1Char(':'));
        if (gc.size() != 2 || gc.at(0).trimmed().isEmpty() || gc.at(1).trimmed().isEmpty())
            return refuse(QStringLiteral("--open takes a guide type and a company, e.g. GON:01 (got '%1')").arg(parser.value(open)));
    }
    if (parser.isSet(page)) {
        bool ok = false;
        const int n = parser.value(page).toInt(&ok);
        if (!ok || n < 0 || n > 1)
            return refuse(QStringLiteral("--page takes 0 or 1 (got '%1')").arg(parser.value(page)));
    }
    if (parser.isSet(server)) {
        const QStringList hp = parser.value(server).split(QLatin1Char(':'));
        bool ok = hp.size() <= 2 && !hp.value(0).isEmpty();
        if (ok && hp.size() == 2) {
            const int p = hp.at(1).toInt(&ok);
            ok = ok && p > 0 && p < 65536;
        }
        if (!ok)
            return refuse(QStringLiteral("--server takes host:port (got '%1')").arg(parser.value(server)));
        qputenv("FIS94100_SERVER_HOST", hp.value(0).toLocal8Bit());
        if (hp.size() > 1)
            qputenv("FIS94100_SERVER_PORT", hp.value(1).toLocal8Bit());
    }
    if (parser.isSet(shot)) {
        QFile probe(parser.value(shot));
        const bool existed = probe.exists();
        if (!probe.open(QIODevice::WriteOnly | QIODevice::Append))
            return refuse(QStringLiteral("cannot write the screenshot to %1: %2").arg(parser.value(shot), probe.errorString()));
        probe.close();
        if (!existed)
            probe.remove();
    }

    if (parser.isSet(db))
        qputenv("FIS94100_HOST_DATABASE", parser.value(db).toLocal8Bit());
    if (parser.isSet(driver))
        qputenv("FIS94100_HOST_DRIVER", parser.value(driver).toLocal8Bit());

    MainWindow window;
    window.show();
    rt::guard([] { TDMGeral::instance().open(); });

    if (parser.isSet(open)) {
        const QStringList gc = parser.value(open).split(QLatin1Char(':'));
        QString company = gc.value(1);
        QSqlQuery q(TDMGeral::instance().database());
        q.prepare(QStringLiteral("SELECT NMEMPRESA FROM EMPRESA WHERE CDEMPRESA = :c"));
        q.bindValue(QStringLiteral(":c"), company);
        if (q.exec() && q.next())
            company += QStringLiteral(" - ") + q.value(0).toString();
        const int pageIndex = parser.value(page).toInt();
        QTimer::singleShot(0, &window, [&window, gc, company, pageIndex] {
            rt::guard([&] { window.openModule(QStringLiteral("Pkg_fis94100"), QVariantList{gc.value(0), company}); });
            if (pageIndex > 0)
                if (auto *pages = window.findChild<QTabWidget *>(QStringLiteral("pgcPadrao")))
                    pages->setCurrentIndex(pageIndex);
        });
    }
    if (parser.isSet(shot)) {
        const QString file = parser.value(shot);
        QTimer::singleShot(1500, &window, [&window, file] {
            if (!window.grab().save(file)) {
                std::fprintf(stderr, "fis94100-host: the screenshot could not be saved to %s\n", qPrintable(file));
                QApplication::exit(1);
                return;
            }
            QApplication::quit();
        });
    }
    return app.exec();
}
