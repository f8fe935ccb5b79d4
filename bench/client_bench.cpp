// bench_client: the host side, in the host's application object (offscreen),
// with the screen opened in the host window through the module's IniProc
// against a real service, every dialog answered here. Its floors are plain
// Qt widgets doing the same job in this process.
//   bench_client [--quick] [--only N,...] [--shots DIR]
#include "harness.h"

#include "ADOIBQuery.h"
#include "Application.h"
#include "Cli_fis94100.h"
#include "Dialogs.h"
#include "JsonRpc.h"
#include "MainWindow.h"
#include "NetConnection.h"
#include "Pesquisa.h"
#include "Pkg_fis94100.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QGroupBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QRadioButton>
#include <QScrollArea>
#include <QSortFilterProxyModel>
#include <QSqlError>
#include <QSqlQuery>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QTableView>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

#include <malloc.h>

#include <cstdio>
#include <optional>

using namespace bench;

namespace {

const QString kPath = QStringLiteral("/FIS94100.rdmParamGNRE");

// Painted: what is pending is done, then the widget is rendered (the same
// for the screen and for its floor).
void paint(QWidget *w)
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    (void)w->grab();
}

// Heap in use, all arenas, mapped blocks included.
double heapInUse()
{
    const struct mallinfo2 m = mallinfo2();
    return double(m.uordblks + m.hblkhd);
}

// The host window with the service behind it; dialogs are answered here.
class Host
{
public:
    BenchDatabase db;
    std::unique_ptr<ServerProgram> service;
    std::unique_ptr<MainWindow> window;
    std::function<int(rt::DialogRequest &)> onModal;

    Host()
    {
        service = startService({"--database", db.path()}, db.dir());
        qputenv("FIS94100_SERVER_HOST", "127.0.0.1");
        qputenv("FIS94100_SERVER_PORT", QByteArray::number(service->port()));
        qputenv("FIS94100_CONFIG", QFile::encodeName(QDir(db.dir()).filePath(QStringLiteral("none.ini"))));
        qputenv("FIS94100_MODULE_DIR", FIS94100_MODULE_DIR);
        TDMGeral::instance().open(QStringLiteral("sqlite"), db.path());
        window = std::make_unique<MainWindow>();
        window->show();
        window->activateWindow();
        (void)QTest::qWaitForWindowActive(window.get());
        rt::Dialogs::setResponder([this](rt::DialogRequest &r) {
            if (r.kind == rt::DialogKind::Confirmation)
                return int(QMessageBox::Yes);
            if (r.kind == rt::DialogKind::Modal)
                return onModal ? onModal(r) : int(QDialog::Rejected);
            return int(QMessageBox::Ok);
        });
    }
    ~Host()
    {
        close();
        window.reset();
        rt::Dialogs::setResponder({});
        TDMGeral::instance().close();
    }

    // The user's choice in the host's menu: the module's entry with these parameters.
    TfrmParamGNRE *open(const QString &guide, const QString &company)
    {
        rt::guard([&] { window->openModule(QStringLiteral("Pkg_fis94100"), QVariantList{guide, company}); });
        requireNoErrors(QStringLiteral("opening the screen"));
        if (!frmParamGNRE)
            fail(QStringLiteral("the screen did not open"));
        return frmParamGNRE;
    }
    QMdiSubWindow *subWindow() const
    {
        return frmParamGNRE ? qobject_cast<QMdiSubWindow *>(frmParamGNRE->parentWidget()) : nullptr;
    }
    // As the sub-window's close button does; the host frees the screen.
    void close() { MainWindow::closeSubWindowOf(frmParamGNRE); }
    static void requireNoErrors(const QString &when)
    {
        for (const rt::DialogRequest &r : rt::Dialogs::history())
            if (r.kind == rt::DialogKind::Error)
                fail(QStringLiteral("%1: the screen showed \"%2\"").arg(when, r.text));
        rt::Dialogs::clearHistory();
    }
};

QString companyText(const char *code) { return QString::fromLatin1(code) + QStringLiteral(" - Empresa"); }

// ---------------------------------------------------------------- 4. the grid

// The floor of the grid: a QTableView over a QStandardItemModel filled by one
// QSqlQuery on the same rows, in a sub-window of the same host window, with
// the grid's columns, widths and row height.
class FloorGrid
{
public:
    explicit FloorGrid(const QString &database)
    {
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench-floor-grid"));
        m_db.setDatabaseName(database);
        if (!m_db.open())
            fail(QStringLiteral("floor grid: %1").arg(m_db.lastError().text()));
        m_view = new QTableView;
        m_view->verticalHeader()->hide();
        m_view->setSelectionMode(QAbstractItemView::SingleSelection);
        m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        m_sub = Application::mdiArea()->addSubWindow(m_view);
        m_sub->show();
    }
    ~FloorGrid()
    {
        delete m_sub;
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("bench-floor-grid"));
    }
    void follow(rt::TDBGrid *grid)
    {
        m_grid = grid;
        m_columns.clear();
        for (int i = 0; i < grid->columnCount(); ++i)
            m_columns << grid->Columns(i)->FieldName;
        m_view->verticalHeader()->setDefaultSectionSize(grid->verticalHeader()->defaultSectionSize());
        m_view->setFixedSize(grid->size());
        m_sub->adjustSize();
    }
    int load(int limit = -1)
    {
        QSqlQuery q(m_db);
        q.setForwardOnly(true);
        q.prepare(QStringLiteral("SELECT %1 FROM PARAMGNREINSCR WHERE CDEMPRESA = ? AND IDTPGUIA = ? ORDER BY CDINSCESTA%2")
                      .arg(m_columns.join(QStringLiteral(", ")), limit > 0 ? QStringLiteral(" LIMIT %1").arg(limit) : QString()));
        q.addBindValue(QString::fromLatin1(BenchDatabase::kCompany));
        q.addBindValue(QString::fromLatin1(BenchDatabase::kGuide));
        if (!q.exec())
            fail(QStringLiteral("floor grid: %1").arg(q.lastError().text()));
        auto *model = new QStandardItemModel(0, int(m_columns.size()), m_view);
        model->setHorizontalHeaderLabels(m_columns);
        while (q.next()) {
            QList<QStandardItem *> row;
            for (int c = 0; c < m_columns.size(); ++c)
                row << new QStandardItem(q.value(c).toString());
            model->appendRow(row);
        }
        QAbstractItemModel *old = m_view->model();
        m_view->setModel(model);
        delete old;
        for (int c = 0; c < m_columns.size(); ++c) {
            m_view->setColumnHidden(c, m_grid->isColumnHidden(c));
            m_view->setColumnWidth(c, m_grid->columnWidth(c));
        }
        if (model->rowCount() > 0)
            m_view->setCurrentIndex(model->index(0, 0));
        return model->rowCount();
    }
    QTableView *view() const { return m_view; }

private:
    QSqlDatabase m_db;
    QTableView *m_view;
    QMdiSubWindow *m_sub;
    rt::TDBGrid *m_grid = nullptr;
    QStringList m_columns;
};

void gridSection(FloorGrid &floor, TfrmParamGNRE *f, const Scale &scale)
{
    report::section(QStringLiteral("4. %1 registrations in the screen's grid (host, offscreen)").arg(BenchDatabase::kRegistrations));
    rt::TDBGrid *grid = f->dbgParamInscr;
    floor.follow(grid);
    // Both painters warmed up (styles, fonts) before anything is counted.
    floor.load(10);
    paint(floor.view());
    paint(grid);

    // Memory held by the first load, then by the floor's.
    double before = heapInUse();
    f->pgcPadrao->changePage(f->pgcPadrao->indexOf(f->tshParamInscr));
    paint(grid);
    const double serviceBytes = heapInUse() - before;
    Host::requireNoErrors(QStringLiteral("loading the registrations"));
    if (f->cdsParamInscr.RecordCount() != BenchDatabase::kRegistrations)
        fail(QStringLiteral("the grid holds %1 registrations").arg(f->cdsParamInscr.RecordCount()));
    floor.follow(grid); // the columns as the guide type left them
    before = heapInUse();
    if (floor.load() != BenchDatabase::kRegistrations)
        fail(QStringLiteral("the floor grid holds another number of rows"));
    paint(floor.view());
    const double floorBytes = heapInUse() - before;

    if (!f->sbtVerificar->isEnabled())
        fail(QStringLiteral("\"Verificar\" is not enabled on the registration page"));
    const Paired t = alternate(
        scale.pick(10, 4),
        [&] {
            const auto t0 = Clock::now();
            f->sbtVerificar->click(); // reads the registrations again
            paint(grid);
            return microsSince(t0);
        },
        [&] {
            const auto t0 = Clock::now();
            floor.load();
            paint(floor.view());
            return microsSince(t0);
        });
    Host::requireNoErrors(QStringLiteral("reloading the registrations"));
    report::latency(QStringLiteral("grid loaded and painted (Verificar)"), t, 1.5);
    const Paired bytes{serviceBytes, floorBytes};
    report::row(QStringLiteral("grid memory held after the first load"), QStringLiteral("%1 MiB").arg(bytes.service / 1048576, 0, 'f', 1),
                QStringLiteral("%1 MiB").arg(bytes.floor / 1048576, 0, 'f', 1), report::ratioText(bytes.ratio()),
                QStringLiteral("<= 1.2x"), report::verdict(bytes.ratio() <= 1.2));
    report::note(QStringLiteral("service: the screen's grid read through the service (TNetConnection, SetData, TDBGrid); "
                                "floor: QTableView over a QStandardItemModel filled by one QSqlQuery; painted = events "
                                "processed, then QWidget::grab(); memory = malloc in use (mallinfo2) before and after"));
}

// ---------------------------------------------------------------- 5. the search list

// The floor of the search list: QTableView over a QSortFilterProxyModel of a
// QStandardItemModel, the same rows, the same filter (trimmed text, any
// column, case-insensitive, first match selected).
class FloorSearch : public QDialog
{
public:
    FloorSearch(const QVector<QStringList> &rows, const QStringList &titles, const QList<int> &widths, QSize size, QWidget *parent)
        : QDialog(parent)
    {
        auto *lay = new QVBoxLayout(this);
        lay->addWidget(new QLabel(QStringLiteral("Digite para filtrar; Enter escolhe, Esc fecha."), this));
        m_filter = new QLineEdit(this);
        lay->addWidget(m_filter);
        m_view = new QTableView(this);
        lay->addWidget(m_view);
        auto *model = new QStandardItemModel(int(rows.size()), int(titles.size()), this);
        model->setHorizontalHeaderLabels(titles);
        for (int r = 0; r < rows.size(); ++r)
            for (int c = 0; c < titles.size(); ++c)
                model->setItem(r, c, new QStandardItem(rows.at(r).at(c)));
        m_proxy = new QSortFilterProxyModel(this);
        m_proxy->setSourceModel(model);
        m_proxy->setFilterKeyColumn(-1);
        m_proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);
        m_view->setModel(m_proxy);
        m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
        m_view->setSelectionMode(QAbstractItemView::SingleSelection);
        m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        m_view->verticalHeader()->hide();
        m_view->horizontalHeader()->setStretchLastSection(true);
        for (int c = 0; c < widths.size(); ++c)
            m_view->setColumnWidth(c, widths.at(c));
        m_view->selectRow(0);
        connect(m_filter, &QLineEdit::textChanged, this, [this](const QString &text) {
            m_proxy->setFilterFixedString(text.trimmed());
            if (m_proxy->rowCount() > 0)
                m_view->selectRow(0);
            else
                m_view->clearSelection();
        });
        resize(size);
    }
    QLineEdit *filter() const { return m_filter; }
    int visibleRowCount() const { return m_proxy->rowCount(); }

private:
    QLineEdit *m_filter;
    QTableView *m_view;
    QSortFilterProxyModel *m_proxy;
};

void searchSection(Host &h, TfrmParamGNRE *f, const Scale &scale)
{
    report::section(QStringLiteral("5. Search list over %1 branches (the screen's branch search)").arg(BenchDatabase::kBranches));
    bool cancel = false;
    f->btpFilialBeforePesq(f->btpFilial, cancel); // the screen's branch query
    rt::TClientDataSet *ds = f->dtsFilial.DataSet();
    if (cancel || !ds || ds->RecordCount() != BenchDatabase::kBranches)
        fail(QStringLiteral("the branch query gave %1 rows").arg(ds ? ds->RecordCount() : -1));
    QStringList titles;
    QList<int> fields;
    for (int i = 0; i < ds->fieldCount(); ++i)
        if (ds->field(i)->Visible()) {
            titles << ds->field(i)->displayName();
            fields << i;
        }
    QVector<QStringList> rows;
    for (int r = 0; r < ds->RecordCount(); ++r) {
        QStringList row;
        for (int i : fields)
            row << ds->displayTextAt(r, i);
        rows << row;
    }
    const QString title = f->btpFilial->Title + QLatin1Char('|') + f->btpFilial->EmptyError;
    const QString typed = QStringLiteral("campin");

    QSize size;
    QList<int> widths;
    std::vector<int> serviceCounts, floorCounts;
    // The search list as the user gets it: open, then the filter typed key by key.
    auto typeInto = [&](QDialog *d, QLineEdit *edit, std::vector<double> &keys) {
        for (QChar ch : typed) {
            const auto t0 = Clock::now();
            QTest::keyClick(edit, ch.toLatin1());
            paint(d);
            keys.push_back(microsSince(t0));
        }
    };
    auto pesquisa = [&]() -> std::vector<double> {
        double open = 0;
        std::vector<double> keys;
        Clock::time_point t0;
        h.onModal = [&](rt::DialogRequest &r) {
            auto *d = qobject_cast<TPesquisaDialog *>(r.dialog);
            if (!d)
                fail(QStringLiteral("the search list is no TPesquisaDialog"));
            d->show();
            paint(d);
            open = microsSince(t0);
            auto *edit = d->findChild<QLineEdit *>(QStringLiteral("edtFiltro"));
            if (!edit)
                fail(QStringLiteral("the search list has no filter entry"));
            typeInto(d, edit, keys);
            serviceCounts.push_back(d->visibleRowCount());
            if (size.isEmpty()) {
                size = d->size();
                if (auto *table = d->findChild<QTableWidget *>())
                    for (int c = 0; c < table->columnCount(); ++c)
                        widths << table->columnWidth(c);
            }
            d->hide();
            return int(QDialog::Rejected);
        };
        t0 = Clock::now();
        Pesquisa::Pesquisar(&f->dtsFilial, title);
        h.onModal = nullptr;
        Host::requireNoErrors(QStringLiteral("the branch search"));
        return {open, median(keys)};
    };
    auto floorList = [&]() -> std::vector<double> {
        std::vector<double> keys;
        const auto t0 = Clock::now();
        FloorSearch d(rows, titles, widths, size, h.window.get());
        d.show();
        paint(&d);
        const double open = microsSince(t0);
        typeInto(&d, d.filter(), keys);
        floorCounts.push_back(d.visibleRowCount());
        d.hide();
        return {open, median(keys)};
    };
    pesquisa(); // warm-up, and the size and widths the floor takes
    floorList();
    const std::vector<Paired> t = alternate(scale.pick(8, 3), pesquisa, floorList);
    if (serviceCounts != floorCounts || serviceCounts.empty() || serviceCounts.front() == 0)
        fail(QStringLiteral("the search list and its floor filter differently (%1 against %2 rows)")
                 .arg(serviceCounts.empty() ? -1 : serviceCounts.front()).arg(floorCounts.empty() ? -1 : floorCounts.front()));
    report::latency(QStringLiteral("search list opened and painted"), t[0], 1.2);
    report::latency(QStringLiteral("each keystroke of \"%1\", filtered and painted").arg(typed), t[1], 1.2);
    report::note(QStringLiteral("service: Pesquisa::Pesquisar over the screen's branch query (dialog through the dialog "
                                "seam); floor: QDialog with QTableView + QSortFilterProxyModel over the same rows; "
                                "%1 rows left after the last key")
                     .arg(serviceCounts.front()));
}

// ---------------------------------------------------------------- 6. the connection

void connectionSection(Host &h, const Scale &scale)
{
    report::section(QStringLiteral("6. TNetConnection::call, GetParamGeral(\"01\")"));
    TNetConnection conn(QStringLiteral("netBench"));
    conn.ServerName = QStringLiteral("FIS94100.rdmParamGNRE");
    conn.Host = QStringLiteral("127.0.0.1");
    conn.Port = h.service->port();
    conn.setConnected(true);
    auto call = [&] {
        if (!conn.call(QStringLiteral("GetParamGeral"), {QStringLiteral("01")}).ok)
            fail(QStringLiteral("TNetConnection::call refused"));
    };

    QNetworkAccessManager nam;
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(QStringLiteral("127.0.0.1"));
    url.setPort(h.service->port());
    url.setPath(kPath);
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    const QByteArray body = jsonrpc::request(QStringLiteral("GetParamGeral"), {QStringLiteral("01")}, 1);
    auto post = [&] {
        QNetworkReply *reply = nam.post(request, body);
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        if (!reply->isFinished())
            loop.exec();
        if (reply->error() != QNetworkReply::NoError || reply->readAll().isEmpty())
            fail(QStringLiteral("direct POST failed: %1").arg(reply->errorString()));
        delete reply;
    };
    HttpClient beast(h.service->port());
    const std::string beastBody = body.toStdString();

    const int blocks = scale.pick(20, 6), calls = scale.pick(100, 30);
    for (int i = 0; i < 50; ++i) {
        call();
        post();
        beast.postOk(beastBody);
    }
    report::latency(QStringLiteral("call p50 vs QNetworkAccessManager post + wait"),
                    alternate(blocks, [&] { return blockMedian(calls, call); }, [&] { return blockMedian(calls, post); }), 1.2);
    report::latency(QStringLiteral("call p50 vs blocking Beast POST (no target)"),
                    alternate(blocks, [&] { return blockMedian(calls, call); },
                              [&] { return blockMedian(calls, [&] { beast.postOk(beastBody); }); }),
                    0);
    report::note(QStringLiteral("both sides reach the same running service; the floor posts the same request text and "
                                "reads the answer without parsing it"));
}

// ---------------------------------------------------------------- 7. the opening

// The floors of the opening, each in a sub-window of the host, filled from
// one QNetworkAccessManager round trip and painted.

// What a widget of the screen is, in plain Qt: the floor builds the same
// widgets in the same layouts, with the same texts, items, columns, sizes and
// visibility, and no data sets, no data-aware controls, no framework.
class SameWidgets
{
public:
    explicit SameWidgets(const QWidget *screen)
        : m_size(screen->size()), m_title(screen->windowTitle())
    {
        m_root = describe(screen);
    }

    // Builds the window; `edits` gets its entries, in the screen's order.
    QWidget *build(QList<QLineEdit *> &edits) const
    {
        auto *w = new QWidget;
        w->setWindowTitle(m_title); // the sub-window's title bar shows it, as the screen's
        if (m_root.font)
            w->setFont(*m_root.font);
        w->resize(m_size);
        make(m_root, w, edits);
        return w;
    }

private:
    struct Layout;
    enum class Kind { Plain, Frame, Tabs, Stack, Scroll, Group, Table, Combo, Check, Radio, Button, Edit, Label, MenuBar };
    struct Node
    {
        Kind kind = Kind::Plain;
        QRect geometry;
        bool visible = true;
        QString text;
        QStringList items; // tab titles, combo items, grid columns, menu titles
        QIcon icon;
        QPixmap pixmap;
        int frame = 0;
        std::optional<QFont> font;   // when set on the widget itself
        bool enabled = true;
        bool readOnly = false;
        bool autoRaise = false;
        Qt::ToolButtonStyle buttonStyle = Qt::ToolButtonIconOnly;
        QSize iconSize;
        bool resizable = false;      // a scroll area's
        Qt::ScrollBarPolicy horizontal = Qt::ScrollBarAsNeeded, vertical = Qt::ScrollBarAsNeeded;
        Qt::Alignment alignment;
        QSize minimum, maximum;
        QSizePolicy policy;
        bool managed = false;        // placed by its parent's layout
        std::vector<Node> children;
        std::shared_ptr<Layout> layout;
    };
    // A layout: its items are children of the widget (by their index),
    // spacers or layouts.
    struct Layout
    {
        enum Type { Horizontal, Vertical, Grid } type = Vertical;
        QMargins margins;
        int spacing = -1, vertical = -1;
        int menuBar = -1; // the child that is the layout's menu bar
        struct Item
        {
            int child = -1; // the widget's index among the node's children
            std::shared_ptr<Layout> layout;
            QSize spacer;
            QSizePolicy::Policy h = QSizePolicy::Minimum, v = QSizePolicy::Minimum;
            int stretch = 0;
            Qt::Alignment alignment;
            int row = 0, column = 0, rows = 1, columns = 1;
        };
        std::vector<Item> items;
        std::vector<int> rowStretch, columnStretch;
    };

    static std::shared_ptr<Layout> describe(const QLayout *l, const QHash<const QWidget *, int> &index, Node &n)
    {
        auto out = std::make_shared<Layout>();
        out->margins = l->contentsMargins();
        out->spacing = l->spacing();
        if (l->menuBar() && (out->menuBar = index.value(l->menuBar(), -1)) >= 0)
            n.children[size_t(out->menuBar)].managed = true;
        auto *box = qobject_cast<const QBoxLayout *>(l);
        auto *grid = qobject_cast<const QGridLayout *>(l);
        if (box)
            out->type = box->direction() == QBoxLayout::LeftToRight || box->direction() == QBoxLayout::RightToLeft
                            ? Layout::Horizontal : Layout::Vertical;
        if (grid) {
            out->type = Layout::Grid;
            out->spacing = grid->horizontalSpacing();
            out->vertical = grid->verticalSpacing();
            for (int r = 0; r < grid->rowCount(); ++r)
                out->rowStretch.push_back(grid->rowStretch(r));
            for (int c = 0; c < grid->columnCount(); ++c)
                out->columnStretch.push_back(grid->columnStretch(c));
        }
        for (int i = 0; i < l->count(); ++i) {
            QLayoutItem *item = l->itemAt(i);
            Layout::Item it;
            it.alignment = item->alignment();
            if (box)
                it.stretch = box->stretch(i);
            if (grid)
                grid->getItemPosition(i, &it.row, &it.column, &it.rows, &it.columns);
            if (QWidget *w = item->widget()) {
                it.child = index.value(w, -1);
                if (it.child < 0)
                    continue;
                n.children[size_t(it.child)].managed = true;
            } else if (QLayout *inner = item->layout()) {
                it.layout = describe(inner, index, n);
            } else if (QSpacerItem *sp = item->spacerItem()) {
                it.spacer = sp->sizeHint();
                it.h = sp->sizePolicy().horizontalPolicy();
                it.v = sp->sizePolicy().verticalPolicy();
            }
            out->items.push_back(std::move(it));
        }
        return out;
    }

    static QLayout *make(const Layout &l, QWidget *owner, const std::vector<QWidget *> &made)
    {
        QLayout *out = nullptr;
        QBoxLayout *box = nullptr;
        QGridLayout *grid = nullptr;
        if (l.type == Layout::Grid) {
            out = grid = new QGridLayout(owner);
            grid->setHorizontalSpacing(l.spacing);
            grid->setVerticalSpacing(l.vertical);
            for (size_t r = 0; r < l.rowStretch.size(); ++r)
                grid->setRowStretch(int(r), l.rowStretch[r]);
            for (size_t c = 0; c < l.columnStretch.size(); ++c)
                grid->setColumnStretch(int(c), l.columnStretch[c]);
        } else {
            out = box = new QBoxLayout(l.type == Layout::Horizontal ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom, owner);
            box->setSpacing(l.spacing);
        }
        out->setContentsMargins(l.margins);
        if (l.menuBar >= 0)
            out->setMenuBar(made[size_t(l.menuBar)]);
        for (const Layout::Item &it : l.items) {
            if (it.child >= 0) {
                QWidget *w = made[size_t(it.child)];
                if (grid)
                    grid->addWidget(w, it.row, it.column, it.rows, it.columns, it.alignment);
                else
                    box->addWidget(w, it.stretch, it.alignment);
            } else if (it.layout) {
                QLayout *inner = make(*it.layout, nullptr, made);
                if (grid)
                    grid->addLayout(inner, it.row, it.column, it.rows, it.columns, it.alignment);
                else
                    box->addLayout(inner, it.stretch);
            } else {
                auto *sp = new QSpacerItem(it.spacer.width(), it.spacer.height(), it.h, it.v);
                if (grid)
                    grid->addItem(sp, it.row, it.column, it.rows, it.columns, it.alignment);
                else
                    box->addSpacerItem(sp);
            }
        }
        return out;
    }

    static Node describe(const QWidget *w)
    {
        Node n;
        n.geometry = w->geometry();
        n.visible = !w->isHidden();
        if (w->testAttribute(Qt::WA_SetFont))
            n.font = w->font();
        n.enabled = !w->testAttribute(Qt::WA_Disabled);
        n.minimum = w->minimumSize();
        n.maximum = w->maximumSize();
        n.policy = w->sizePolicy();
        auto children = [&](const QWidget *of) {
            QHash<const QWidget *, int> index;
            for (QObject *o : of->children())
                if (auto *c = qobject_cast<QWidget *>(o); c && !c->isWindow()) {
                    index.insert(c, int(n.children.size()));
                    n.children.push_back(describe(c));
                }
            if (of->layout())
                n.layout = describe(of->layout(), index, n);
        };
        if (auto *t = qobject_cast<const QTabWidget *>(w)) {
            n.kind = Kind::Tabs;
            for (int i = 0; i < t->count(); ++i) {
                n.items << t->tabText(i);
                n.children.push_back(describe(t->widget(i)));
            }
        } else if (auto *st = qobject_cast<const QStackedWidget *>(w)) {
            n.kind = Kind::Stack;
            for (int i = 0; i < st->count(); ++i)
                n.children.push_back(describe(st->widget(i)));
        } else if (auto *sa = qobject_cast<const QScrollArea *>(w)) {
            n.kind = Kind::Scroll;
            n.frame = sa->frameStyle();
            n.resizable = sa->widgetResizable();
            n.horizontal = sa->horizontalScrollBarPolicy();
            n.vertical = sa->verticalScrollBarPolicy();
            if (sa->widget())
                n.children.push_back(describe(sa->widget()));
        } else if (auto *tv = qobject_cast<const QTableView *>(w)) {
            n.kind = Kind::Table;
            for (int c = 0; tv->model() && c < tv->model()->columnCount(); ++c)
                n.items << tv->model()->headerData(c, Qt::Horizontal).toString();
        } else if (auto *cb = qobject_cast<const QComboBox *>(w)) {
            n.kind = Kind::Combo;
            for (int i = 0; i < cb->count(); ++i)
                n.items << cb->itemText(i);
        } else if (auto *ch = qobject_cast<const QCheckBox *>(w)) {
            n.kind = Kind::Check;
            n.text = ch->text();
        } else if (auto *r = qobject_cast<const QRadioButton *>(w)) {
            n.kind = Kind::Radio;
            n.text = r->text();
        } else if (auto *b = qobject_cast<const QAbstractButton *>(w)) {
            n.kind = Kind::Button;
            n.text = b->text();
            n.icon = b->icon();
            n.iconSize = b->iconSize();
            if (auto *tb = qobject_cast<const QToolButton *>(w)) {
                n.autoRaise = tb->autoRaise();
                n.buttonStyle = tb->toolButtonStyle();
            }
        } else if (auto *e = qobject_cast<const QLineEdit *>(w)) {
            n.kind = Kind::Edit;
            n.readOnly = e->isReadOnly();
            n.alignment = e->alignment();
        } else if (auto *l = qobject_cast<const QLabel *>(w)) {
            n.kind = Kind::Label;
            n.text = l->text();
            n.pixmap = l->pixmap();
            n.alignment = l->alignment();
        } else if (auto *mb = qobject_cast<const QMenuBar *>(w)) {
            n.kind = Kind::MenuBar;
            for (QAction *a : mb->actions())
                n.items << a->text();
        } else if (auto *g = qobject_cast<const QGroupBox *>(w)) {
            n.kind = Kind::Group;
            n.text = g->title();
            children(w);
        } else if (auto *f = qobject_cast<const QFrame *>(w)) {
            n.kind = Kind::Frame;
            n.frame = f->frameStyle();
            children(w);
        } else {
            children(w);
        }
        return n;
    }

    static void make(const Node &n, QWidget *into, QList<QLineEdit *> &edits)
    {
        std::vector<QWidget *> made;
        for (const Node &c : n.children) {
            QWidget *w = nullptr;
            switch (c.kind) {
            case Kind::Tabs: {
                auto *t = new QTabWidget(into);
                for (size_t i = 0; i < c.children.size(); ++i) {
                    auto *page = new QWidget;
                    make(c.children[i], page, edits);
                    t->addTab(page, c.items.value(qsizetype(i)));
                }
                w = t;
                break;
            }
            case Kind::Stack: {
                auto *st = new QStackedWidget(into);
                for (const Node &p : c.children) {
                    auto *page = new QWidget;
                    make(p, page, edits);
                    st->addWidget(page);
                }
                w = st;
                break;
            }
            case Kind::Scroll: {
                auto *sa = new QScrollArea(into);
                sa->setFrameStyle(c.frame);
                sa->setWidgetResizable(c.resizable);
                sa->setHorizontalScrollBarPolicy(c.horizontal);
                sa->setVerticalScrollBarPolicy(c.vertical);
                if (!c.children.empty()) {
                    auto *inner = new QWidget;
                    inner->resize(c.children.front().geometry.size());
                    make(c.children.front(), inner, edits);
                    sa->setWidget(inner);
                }
                w = sa;
                break;
            }
            case Kind::Table: {
                auto *tv = new QTableView(into);
                auto *model = new QStandardItemModel(0, int(c.items.size()), tv);
                model->setHorizontalHeaderLabels(c.items);
                tv->setModel(model);
                w = tv;
                break;
            }
            case Kind::Combo: {
                auto *cb = new QComboBox(into);
                cb->addItems(c.items);
                w = cb;
                break;
            }
            case Kind::Check: w = new QCheckBox(c.text, into); break;
            case Kind::Radio: w = new QRadioButton(c.text, into); break;
            case Kind::Button: {
                auto *b = new QToolButton(into);
                b->setText(c.text);
                b->setIcon(c.icon);
                b->setIconSize(c.iconSize);
                b->setAutoRaise(c.autoRaise);
                b->setToolButtonStyle(c.buttonStyle);
                w = b;
                break;
            }
            case Kind::Edit: {
                auto *e = new QLineEdit(into);
                e->setReadOnly(c.readOnly);
                e->setAlignment(c.alignment);
                edits << e;
                w = e;
                break;
            }
            case Kind::Label: {
                auto *l = new QLabel(c.text, into);
                if (!c.pixmap.isNull())
                    l->setPixmap(c.pixmap);
                l->setAlignment(c.alignment);
                w = l;
                break;
            }
            case Kind::MenuBar: {
                auto *mb = new QMenuBar(into);
                for (const QString &title : c.items)
                    mb->addMenu(title);
                w = mb;
                break;
            }
            case Kind::Group: w = new QGroupBox(c.text, into); break;
            case Kind::Frame: {
                auto *f = new QFrame(into);
                f->setFrameStyle(c.frame);
                w = f;
                break;
            }
            case Kind::Plain: w = new QWidget(into); break;
            }
            if (c.kind == Kind::Group || c.kind == Kind::Frame || c.kind == Kind::Plain)
                make(c, w, edits);
            if (c.font)
                w->setFont(*c.font);
            w->setEnabled(c.enabled);
            w->setMinimumSize(c.minimum);
            w->setMaximumSize(c.maximum);
            w->setSizePolicy(c.policy);
            if (!c.managed)
                w->setGeometry(c.geometry);
            if (!c.visible)
                w->hide();
            made.push_back(w);
        }
        if (n.layout)
            make(*n.layout, into, made);
    }

    QSize m_size;
    QString m_title;
    Node m_root;
};

// --shots DIR: the screen and its floors as last painted, to compare them by eye.
QString g_shots;
void shoot(QWidget *w, const char *name)
{
    if (!g_shots.isEmpty())
        w->grab().save(QDir(g_shots).filePath(QString::fromLatin1(name) + QStringLiteral(".png")));
}

// The record of company 01, as a plain QNetworkAccessManager round trip gives it.
QJsonArray fetchRecord(int port)
{
    QNetworkAccessManager nam;
    QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(kPath)));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    QNetworkReply *reply = nam.post(request, jsonrpc::request(QStringLiteral("GetParamGeral"), {QStringLiteral("01")}, 1));
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    const jsonrpc::Reply r = jsonrpc::parseReply(reply->readAll());
    delete reply;
    const QJsonArray values = r.result.toObject().value(QStringLiteral("rows")).toArray().at(0).toArray();
    if (values.isEmpty())
        fail(QStringLiteral("the floor window got no record"));
    return values;
}

// A window is built by `build`, filled from one round trip, shown at the
// screen's size and painted.
double openFloor(const std::function<QWidget *(QList<QLineEdit *> &)> &build, int port, QSize size, const char *name)
{
    const auto t0 = Clock::now();
    QList<QLineEdit *> edits;
    QWidget *w = build(edits);
    const QJsonArray values = fetchRecord(port);
    for (int i = 0; i < values.size() && i < edits.size(); ++i)
        edits.at(i)->setText(values.at(i).toVariant().toString());
    QMdiSubWindow *sub = Application::mdiArea()->addSubWindow(w);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->resize(size);
    sub->show();
    paint(sub);
    const double us = microsSince(t0);
    shoot(sub, name);
    delete sub;
    return us;
}

// The other floor (information): a plain window of as many labels and entries.
QWidget *plainWindow(int widgets, QList<QLineEdit *> &edits)
{
    auto *w = new QWidget;
    auto *grid = new QGridLayout(w);
    for (int i = 0; i < widgets; ++i) {
        if (i % 2) {
            auto *e = new QLineEdit(w);
            edits << e;
            grid->addWidget(e, i / 8, i % 8);
        } else {
            grid->addWidget(new QLabel(QStringLiteral("Campo %1").arg(i), w), i / 8, i % 8);
        }
    }
    return w;
}

void openingSection(Host &h, const Scale &scale)
{
    report::section(QStringLiteral("7. IniProc to the general record painted (GON, company 01)"));
    auto openScreen = [&] {
        const auto t0 = Clock::now();
        TfrmParamGNRE *f = h.open(QStringLiteral("GON"), companyText("01"));
        paint(h.subWindow());
        const double us = microsSince(t0);
        shoot(h.subWindow(), "screen");
        if (f->cdsParamGeral.RecordCount() != 1 || f->dbeQtdeDias->text().trimmed() != QLatin1String("5"))
            fail(QStringLiteral("the general page does not show the record of company 01"));
        h.close();
        return us;
    };
    openScreen(); // the module loaded, caches warm
    TfrmParamGNRE *f = h.open(QStringLiteral("GON"), companyText("01"));
    paint(h.subWindow());
    const SameWidgets same(f);
    const QSize size = h.subWindow()->size();
    const int widgets = int(f->findChildren<QWidget *>().size()) + 1;
    h.close();
    const int port = h.service->port();
    auto sameFloor = [&](QList<QLineEdit *> &edits) { return same.build(edits); };
    auto plainFloor = [&](QList<QLineEdit *> &edits) { return plainWindow(widgets, edits); };
    openFloor(sameFloor, port, size, "floor-same");
    openFloor(plainFloor, port, size, "floor-plain");
    const int runs = scale.pick(3, 2), blocks = scale.pick(8, 3);
    report::latency(QStringLiteral("screen opened, general record painted"),
                    alternate(blocks, [&] { return medianOf(runs, openScreen); },
                              [&] { return medianOf(runs, [&] { return openFloor(sameFloor, port, size, "floor-same"); }); }),
                    1.3);
    report::latency(QStringLiteral("the same vs a plain window (no target)"),
                    alternate(blocks, [&] { return medianOf(runs, openScreen); },
                              [&] { return medianOf(runs, [&] { return openFloor(plainFloor, port, size, "floor-plain"); }); }),
                    0);
    report::note(QStringLiteral("floor: a window of the same widgets in plain Qt (tabs, pages, group boxes, entries, "
                                "lists, check and radio buttons, the grid's columns, tool buttons, menu bar; texts, "
                                "sizes, layouts and visibility as the screen's), filled from one "
                                "QNetworkAccessManager round trip, in a sub-window of the host; the second row's "
                                "floor is a plain window of %1 labels and entries")
                     .arg(widgets));
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    THostApplication app(argc, argv);
    const Scale scale = scaleFrom(app.arguments());
    if (const qsizetype at = app.arguments().indexOf(QStringLiteral("--shots")); at > 0 && at + 1 < app.arguments().size())
        g_shots = app.arguments().at(at + 1);
    try {
        Host h;
        if (scale.runs(4) || scale.runs(5)) {
            FloorGrid floorGrid(h.db.path()); // before the screen, so the screen is the active window
            TfrmParamGNRE *f = h.open(QStringLiteral("GON"), companyText(BenchDatabase::kCompany));
            paint(h.subWindow());
            if (scale.runs(4))
                gridSection(floorGrid, f, scale);
            if (scale.runs(5))
                searchSection(h, f, scale);
            h.close();
        }
        if (scale.runs(6))
            connectionSection(h, scale);
        if (scale.runs(7))
            openingSection(h, scale);
    } catch (const std::exception &e) {
        report::note(QStringLiteral("error: %1").arg(QString::fromLocal8Bit(e.what())));
        std::fprintf(stderr, "bench_client: %s\n", e.what());
        return 1;
    }
    return 0;
}
