// Data-aware controls, focus moves and the grid on a small test form.
#include "DBControls.h"
#include "DBGrid.h"
#include "Dialogs.h"
#include "Exceptions.h"
#include "Keys.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtTest>

using namespace rt;

namespace {

struct TestForm : TForm
{
    TClientDataSet ds{QStringLiteral("cdsTeste")};
    TDataSource src{QStringLiteral("dtsTeste"), &ds};
    TDBEdit *code, *amount, *mask;
    TDBComboBox *combo;
    TDBCheckBox *check;
    TRadioGroup *radio;
    TDBGrid *grid;
    QPushButton *other;
    QStringList log;

    TestForm()
    {
        ds.addField("CODIGO", FieldType::String, 4);
        ds.addField("VALOR", FieldType::Float)->EditFormat = "#0";
        ds.addField("PRODUTO", FieldType::String, 5)->EditMask = "999;1; ";
        ds.addField("NIVEL", FieldType::String, 1);
        ds.addField("FLAG", FieldType::String, 1);
        ds.addField("OCULTO", FieldType::String, 10);

        auto *lay = new QVBoxLayout(this);
        code = new TDBEdit(this);
        code->setObjectName("code");
        amount = new TDBEdit(this);
        amount->setObjectName("amount");
        mask = new TDBEdit(this);
        combo = new TDBComboBox(this);
        check = new TDBCheckBox(this);
        check->ValueChecked = "S";
        check->ValueUnchecked = "N";
        radio = new TRadioGroup(this);
        radio->setItems({"Um", "Dois", "Três"}, 3);
        grid = new TDBGrid(this);
        grid->setObjectName("grid");
        other = new QPushButton("outro", this);
        for (QWidget *w : std::initializer_list<QWidget *>{code, amount, mask, combo, check, radio, grid, other})
            lay->addWidget(w);

        code->setDataSource(&src, "CODIGO");
        amount->setDataSource(&src, "VALOR");
        mask->setDataSource(&src, "PRODUTO");
        combo->setDataSource(&src, "NIVEL");
        combo->setItems({"", "1 - Baixo", "2 - Alto"});
        check->setDataSource(&src, "FLAG");
        grid->addColumn("CODIGO", "Código");
        grid->addColumn("FLAG", "Flag", 60);
        grid->addColumn("OCULTO", "Oculto");
        grid->addColumn("VALOR", "Valor");
        grid->setDataSource(&src);

        // The level is stored as its number and shown as the item's text.
        TField *nivel = ds.FieldByName("NIVEL");
        nivel->OnGetText = [this](TField &f, QString &text, bool) {
            if (!f.IsNull())
                text = combo->itemText(f.AsInteger());
        };
        nivel->OnSetText = [this](TField &f, const QString &) {
            if (combo->currentIndex() >= 0)
                f.setAsString(combo->currentIndex() == 0 ? QString() : QString::number(combo->currentIndex()));
        };

        DataPacket p;
        p.fields = ds.fieldDefs();
        p.rows = {{"A1", 10.0, "001", "1", "S", "x"}, {"B2", 20.0, QVariant(), QVariant(), "N", "y"}};
        ds.SetData(p);
        resize(500, 600);
    }
};

} // namespace

class TestRuntimeControls : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestForm> f;
    int answer = QMessageBox::Ok;

private slots:
    void init()
    {
        Dialogs::setResponder([this](DialogRequest &) { return answer; });
        f = std::make_unique<TestForm>();
        f->show();
        f->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f.get()));
    }
    void cleanup()
    {
        f.reset();
        Dialogs::setResponder({});
    }

    void typingStartsTheEditAndReachesTheField()
    {
        f->code->setFocus();
        QCOMPARE(f->ds.State(), DataSetState::dsBrowse);
        f->code->selectAll();
        QTest::keyClicks(f->code, "Z9");
        QCOMPARE(f->ds.State(), DataSetState::dsEdit);
        f->other->setFocus(); // leaving writes the text
        QCOMPARE(f->ds.FieldByName("CODIGO")->AsString(), QString("Z9"));
        f->ds.Post();
        QCOMPARE(f->ds.GetChangeCount(), 1);
    }

    void textSetByCodeDuringThePostIsPosted()
    {
        // A check that writes through a control before the post: the post carries it.
        f->ds.BeforePost = [this](TClientDataSet &) { f->code->setText("ZZ"); };
        f->ds.Edit();
        f->ds.Post();
        QCOMPARE(f->ds.valueAt(0, 0).toString(), QString("ZZ"));
        // Outside an edit the same text is only shown, and gives way at the next change.
        f->code->setText("QQ");
        QCOMPARE(f->ds.FieldByName("CODIGO")->AsString(), QString("ZZ"));
        f->ds.Next();
        f->ds.First();
        QCOMPARE(f->code->text(), QString("ZZ"));
    }

    void otherFieldsLeaveTheCellEditorAlone()
    {
        f->grid->setOptions(f->grid->Options() | dgEditing);
        f->grid->setFocus();
        f->grid->setCurrentIndex(f->grid->model()->index(0, 0));
        QTest::keyClick(f->grid, Qt::Key_F2);
        QWidget *editor = QApplication::focusWidget();
        QTest::keyClicks(editor, "9");
        f->ds.FieldByName("FLAG")->setAsString("N"); // another column's field changes meanwhile
        QVERIFY(f->grid->editorText().endsWith("9"));
        f->ds.Post();
        QVERIFY(f->ds.FieldByName("CODIGO")->AsString().endsWith("9"));
    }

    void discardedKeysNeverArrive()
    {
        f->code->OnKeyPress = [](QObject *, QChar &key) {
            if (!key.isDigit() && key.unicode() >= 32)
                key = QChar();
        };
        f->code->setFocus();
        f->code->end(false);
        QTest::keyClicks(f->code, "x");
        QCOMPARE(f->ds.State(), DataSetState::dsBrowse); // a discarded key starts no edit
        QTest::keyClicks(f->code, "78");
        QCOMPARE(f->code->text(), QString("A178"));
        QTest::keyClicks(f->code, "9");
        QCOMPARE(f->code->text(), QString("A178"));     // the field's width
        QCOMPARE(f->ds.State(), DataSetState::dsEdit);
        QTest::keyClick(f->code, Qt::Key_Escape);         // Escape restores the field's value
        QCOMPARE(f->code->text(), QString("A1"));
    }

    void floatEntryRuleAndMask()
    {
        f->amount->setFocus();
        f->amount->selectAll();
        QTest::keyClicks(f->amount, "1a,x2");
        QCOMPARE(f->amount->text(), QString("1") + (decimalSeparator() == ',' ? "," : "") + "2");
        f->mask->setFocus();
        f->mask->selectAll();
        QTest::keyClicks(f->mask, "4x56789");
        f->other->setFocus();
        QCOMPARE(f->ds.FieldByName("PRODUTO")->AsString(), QString("456"));
    }

    void comboRoundTripsThroughTheHooks()
    {
        QCOMPARE(f->combo->currentIndex(), 1);
        f->ds.Next();
        QCOMPARE(f->combo->currentText(), QString()); // null shows the empty text
        f->combo->setFocus();
        QTest::keyClick(f->combo, Qt::Key_Down); // the user's choice, from the empty item
        QVERIFY(f->ds.editing());
        QCOMPARE(f->ds.FieldByName("NIVEL")->AsString(), QString("1"));
        QCOMPARE(f->combo->currentText(), QString("1 - Baixo"));
        QTest::keyClick(f->combo, Qt::Key_Up); // back to the empty item: no code
        QVERIFY(f->ds.FieldByName("NIVEL")->IsNull());
        QCOMPARE(f->combo->currentIndex(), 0);
    }

    void checkBoxWritesItsValuesAndReportsEveryChange()
    {
        int clicks = 0;
        f->check->OnClick = [&](QObject *) { ++clicks; };
        QVERIFY(f->check->Checked());
        f->check->setFocus();
        QTest::keyClick(f->check, Qt::Key_Space);
        QCOMPARE(f->ds.FieldByName("FLAG")->AsString(), QString("N"));
        f->ds.Cancel();
        QVERIFY(f->check->Checked());
        f->check->setChecked(false); // display only
        QCOMPARE(f->ds.FieldByName("FLAG")->AsString(), QString("S"));
        QCOMPARE(clicks, 3);
    }

    void radioGroupReportsOnlyTheUsersChoice()
    {
        int clicks = 0;
        f->radio->OnClick = [&](QObject *) { ++clicks; };
        f->radio->setItemIndex(2);
        QCOMPARE(clicks, 0);
        f->radio->button(0)->click();
        QCOMPARE(clicks, 1);
        QCOMPARE(f->radio->ItemIndex(), 0);
        f->radio->OnClick = nullptr; // detached
        f->radio->button(1)->click();
        QCOMPARE(clicks, 1);
        f->radio->setItemIndex(-1);
        QCOMPARE(f->radio->ItemIndex(), -1);
    }

    void refusingExitKeepsTheFocus()
    {
        QStringList log;
        f->code->OnExit = [&](QObject *) {
            log << "exit";
            if (f->code->text() == "BAD") {
                Dialogs::showError("Código inválido.");
                Sysutils::Abort();
            }
        };
        f->amount->OnEnter = [&](QObject *) { log << "enter amount"; };
        f->code->setFocus();
        f->code->selectAll();
        QTest::keyClicks(f->code, "BAD");
        QTest::keyClick(f->code, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), f->code);
        QCOMPARE(log, QStringList({"exit"}));
        QCOMPARE(Dialogs::history().size(), 1); // shown once, by the handler
        QCOMPARE(f->ds.FieldByName("CODIGO")->AsString(), QString("BAD")); // written before OnExit

        f->code->selectAll();
        QTest::keyClicks(f->code, "OK");
        QTest::keyClick(f->code, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), f->amount);
        QCOMPARE(log, QStringList({"exit", "exit", "enter amount"}));
    }

    void dialogOverTheWindowIsNoFocusMove()
    {
        int enters = 0, exits = 0;
        f->amount->setFocus();
        f->code->OnEnter = [&](QObject *) { ++enters; };
        f->code->OnExit = [&](QObject *) { ++exits; };
        f->code->setFocus();
        QCOMPARE(enters, 1);
        Dialogs::setResponder({}); // a real dialog this time
        QTimer::singleShot(50, [] {
            if (QWidget *w = QApplication::activeModalWidget())
                static_cast<QDialog *>(w)->accept();
        });
        Dialogs::showInformation("Aviso ao usuário");
        f->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f.get()));
        QCOMPARE(QApplication::focusWidget(), f->code);
        QCOMPARE(enters, 1);
        QCOMPARE(exits, 0);
    }

    void gridFollowsTheDataSetAndItsFields()
    {
        QCOMPARE(f->grid->model()->rowCount(), 2);
        QVERIFY(!f->grid->isColumnHidden(2));
        f->ds.FieldByName("OCULTO")->setVisible(false);
        QVERIFY(f->grid->isColumnHidden(2));
        f->ds.Next();
        QCOMPARE(f->grid->currentIndex().row(), 1);
        f->grid->setCurrentIndex(f->grid->model()->index(0, 0));
        QCOMPARE(f->ds.RecNo(), 1);
        // A hidden column is never selected: the next visible one is.
        f->grid->setSelectedIndex(2);
        QCOMPARE(f->grid->SelectedIndex(), 3);
        QCOMPARE(f->grid->SelectedField()->FieldName, QString("VALOR"));
    }

    void refusingColExitKeepsTheColumn()
    {
        f->grid->OnColExit = [&](QObject *) {
            if (f->grid->SelectedField()->FieldName == "CODIGO")
                throw Exception("Coluna recusada.");
        };
        f->grid->setFocus();
        f->grid->setCurrentIndex(f->grid->model()->index(0, 0));
        QTest::keyClick(f->grid, Qt::Key_Right);
        QCOMPARE(f->grid->SelectedIndex(), 0);
        QCOMPARE(Dialogs::history().last().text, QString("Coluna recusada."));
    }

    void keyHandlersSeeTheCellEditor()
    {
        QString seen;
        f->grid->setOptions(f->grid->Options() | dgEditing);
        f->grid->OnKeyPress = [&](QObject *, QChar &key) {
            seen += key;
            if (key == 'q')
                key = QChar();
        };
        f->grid->setFocus();
        f->grid->setCurrentIndex(f->grid->model()->index(0, 0));
        QTest::keyClick(f->grid, Qt::Key_F2);
        QVERIFY(f->grid->editorOpen());
        QWidget *editor = QApplication::focusWidget();
        QVERIFY(editor && editor != f->grid);
        QTest::keyClicks(editor, "zqw");
        QCOMPARE(seen, QString("zqw"));
        QVERIFY(!f->grid->editorText().contains('q'));
        QVERIFY(f->grid->editorText().endsWith("zw"));
        // Moving between the grid and its editor is no focus move of the form.
        QCOMPARE(TForm::controlOf(editor), static_cast<TWinControl *>(f->grid));
    }

    void abortInKeyDownCancelsTheKey()
    {
        f->grid->OnKeyDown = [](QObject *, quint16 &key, Qt::KeyboardModifiers) {
            if (key == VK_DOWN)
                Sysutils::Abort();
        };
        f->grid->setFocus();
        f->grid->setCurrentIndex(f->grid->model()->index(0, 0));
        QTest::keyClick(f->grid, Qt::Key_Down);
        QCOMPARE(f->ds.RecNo(), 1);
        QVERIFY(Dialogs::history().isEmpty()); // silent
        f->grid->OnKeyDown = nullptr;
        QTest::keyClick(f->grid, Qt::Key_Down);
        QCOMPARE(f->ds.RecNo(), 2);
    }

    void ctrlDeleteAsksFirst()
    {
        f->grid->setFocus();
        answer = QMessageBox::No;
        QTest::keyClick(f->grid, Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(f->ds.RecordCount(), 2);
        answer = QMessageBox::Yes;
        QTest::keyClick(f->grid, Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(f->ds.RecordCount(), 1);
        answer = QMessageBox::Ok;
    }

    void customDrawingReplacesTheColour()
    {
        QImage pic(16, 16, QImage::Format_RGB32);
        pic.fill(QColor(128, 128, 0)); // olive background
        pic.setPixel(5, 5, qRgb(0, 0, 0));
        QPalette p = f->grid->palette();
        p.setColor(QPalette::Base, clInfoBk());
        f->grid->setPalette(p);
        f->grid->OnDrawColumnCell = [&](QObject *, const QRect &rect, int, TColumn &column, TGridDrawState) {
            if (column.FieldName != "FLAG")
                return;
            TBitmap bmp;
            bmp.Assign(pic);
            TCanvas *canvas = f->grid->Canvas();
            canvas->FillRect(rect);
            canvas->BrushCopy(QRect(rect.left() + 2, rect.top(), 16, rect.height()), bmp, QRect(0, 0, 16, rect.height()),
                              QColor(128, 128, 0));
        };
        f->ds.First(); // row 0 current: row 1 is drawn unselected, on the grid's colour
        const QRect cell = f->grid->cellRect(1, 1);
        const QImage shot = f->grid->viewport()->grab().toImage();
        QCOMPARE(QColor(shot.pixel(cell.left() + 3, cell.top() + 1)), clInfoBk()); // olive replaced by the cell's colour
        QCOMPARE(QColor(shot.pixel(cell.left() + 7, cell.top() + 5)), QColor(0, 0, 0)); // the picture itself
        QCOMPARE(QColor(shot.pixel(cell.right() - 3, cell.top() + 3)), clInfoBk()); // the letter erased
    }
};

QTEST_MAIN(TestRuntimeControls)
#include "tst_runtimecontrols.moc"
