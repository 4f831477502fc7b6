// The note table editor through its widgets (track bar, "Note" and "DAC" fields,
// chart, "New Table", "3D/2D") and the table generator.
#include <gtest/gtest.h>

#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QToolButton>

#include "app/form1.h"
#include "support/editor_fixture.h"
#include "support/test_support.h"
#include "table/form3.h"
#include "table/generator.h"
#include "table/table_chart.h"

void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace {

using Texts = std::vector<std::string>;
using Values = std::vector<int>;

const Values kRising = {0,   5,   10,  16,  21,  27,  32,  37,  43,  48,  54,  59,
                        65,  70,  75,  81,  86,  92,  97,  103, 108, 113, 119, 124,
                        130, 135, 141, 146, 151, 157, 162, 168, 173, 179, 184, 189,
                        195, 200, 206, 211, 217, 222, 227, 233, 238, 244, 249, 255};

Values Table(std::initializer_list<std::pair<int, int>> set) {
  Values values(48, 0);
  for (auto [i, v] : set) values[i] = v;
  return values;
}

// ---- the generator's line ----

Values Generated(int Amin, int Amax, int Nmax, int Nmin) {
  TNoteTable table;
  for (int i = 0; i < kTableSize; ++i) table[i] = 1000 + i;  // never a generated value
  GenerateTable(table, Amin, Amax, Nmax, Nmin);
  return Values(table.begin(), table.end());
}

TEST(GenerateTable, WorkedValues) {
  EXPECT_EQ(Generated(0, 255, 47, 0), kRising);

  const Values falling = Generated(255, 0, 47, 0);  // rounded up
  EXPECT_EQ(Values(falling.begin(), falling.begin() + 6), (Values{255, 250, 245, 239, 234, 228}));
  EXPECT_EQ(falling[47], 0);

  Values part = Generated(1000, 1000, 0, 47);  // Nmin > Nmax: untouched
  for (int i = 12; i <= 23; ++i) part[i] = 100 + 10 * (i - 12);
  EXPECT_EQ(Generated(100, 210, 23, 12), part);
}

TEST(GenerateTable, SingleNoteRangeHasNoSlopeAndChangesNothing) {
  EXPECT_EQ(Generated(0, 255, 30, 30), Generated(0, 255, 10, 20));
  EXPECT_EQ(Generated(77, 77, 47, 0), Values(48, 77));
}

// ---- the editor ----

class TableEditor : public testing_support::EditorFixture {
 protected:
  void SetUp() override {
    EditorFixture::SetUp();
    form->PageControl1->setCurrentWidget(form->TabTable);
    QApplication::processEvents();
  }
  void Live(bool on) {
    form->CheckBox26->SetChecked(on);
    ClearSent();
  }
  Texts Take() {
    Texts sent = SentHex();
    ClearSent();
    return sent;
  }
  // What the chart shows, as bars and as a line.
  Values Bars() const {
    Values values;
    for (double value : form->Series2->values()) values.push_back(static_cast<int>(value));
    return values;
  }
  Values Line() const {
    Values values;
    for (double value : form->Series1->values()) values.push_back(static_cast<int>(value));
    return values;
  }

  static void Click(TUpDown* upDown, Qt::ArrowType arrow, int times = 1) {
    for (QToolButton* button : upDown->findChildren<QToolButton*>())
      if (button->arrowType() == arrow)
        for (int i = 0; i < times; ++i) QTest::mouseClick(button, Qt::LeftButton);
  }
  // Replaces the field's text by typing, key by key.
  static void Type(TEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    if (text.isEmpty()) QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
  }
  void SelectNote(int note) { Type(form->Edit3, QString::number(note)); }

  // Drags the track bar's thumb to the top or the bottom in one move.
  void Drag(bool toTop) {
    TTrackBar* bar = form->TrackBar1;
    QStyleOptionSlider opt;
    opt.initFrom(bar);
    opt.orientation = bar->orientation();
    opt.maximum = bar->maximum();
    opt.sliderPosition = bar->sliderPosition();
    opt.upsideDown = !bar->invertedAppearance();
    opt.tickPosition = bar->tickPosition();
    const QPoint from =
        bar->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, bar).center();
    const QPoint to(from.x(), toTop ? 0 : bar->height() - 1);
    QTest::mousePress(bar, Qt::LeftButton, {}, from);
    QTest::mouseMove(bar, to);
    QTest::mouseRelease(bar, Qt::LeftButton, {}, to);
  }
  int TrackBarValue() const { return 255 - form->TrackBar1->Position(); }
};

TEST_F(TableEditor, DraggingTheTrackBarStoresRedrawsAndSendsOnce) {
  Live(true);
  Click(form->UpDown6, Qt::UpArrow, 5);
  EXPECT_EQ(form->Edit3->Text(), "5");
  // The thumb starts at the top, which is 255 although the field shows 0.
  EXPECT_EQ(form->TrackBar1->Position(), 0);
  Drag(false);
  Drag(true);
  EXPECT_EQ(form->Edit4->Text(), "255");
  EXPECT_EQ(Bars(), Table({{5, 255}}));
  EXPECT_EQ(Line(), Table({{5, 255}}));
  EXPECT_EQ(Take(), (Texts{"F0 70 7B 00 45 00 00 F7", "F0 70 7B 00 45 0F 0F F7"}));

  // The "DAC" up-down steps from what its field shows.
  Click(form->UpDown7, Qt::DownArrow);
  EXPECT_EQ(form->Edit4->Text(), "254");
  EXPECT_EQ(TrackBarValue(), 254);
  EXPECT_EQ(Bars(), Table({{5, 254}}));
  EXPECT_EQ(Take(), Texts{"F0 70 7B 00 45 0E 0F F7"});
}

TEST_F(TableEditor, TypedDacValuesAreClampedByTheTrackBar) {
  Live(true);
  SelectNote(7);
  Type(form->Edit4, "300");
  EXPECT_EQ(form->Edit4->Text(), "255");
  EXPECT_EQ(TrackBarValue(), 255);
  EXPECT_EQ(Bars(), Table({{7, 255}}));
  EXPECT_EQ(Take(), (Texts{"F0 70 7B 00 47 03 00 F7", "F0 70 7B 00 47 0E 01 F7",
                           "F0 70 7B 00 47 0F 0F F7"}));  // 3, 30, 300 as 255

  // Already at the top: the field keeps its text and nothing else happens.
  QTest::keyClicks(form->Edit4, "0");
  EXPECT_EQ(form->Edit4->Text(), "2550");
  EXPECT_EQ(Take(), Texts{});

  Type(form->Edit4, "-5");
  EXPECT_EQ(form->Edit4->Text(), "0");
  EXPECT_EQ(Bars(), Table({{7, 0}}));
}

TEST_F(TableEditor, DacTextThatIsNotANumberChangesNothing) {
  SelectNote(1);
  Type(form->Edit4, "40");
  Type(form->Edit4, "");
  Type(form->Edit4, " ");
  EXPECT_TRUE(dialogs->boxes.empty());
  Type(form->Edit4, "x");
  EXPECT_EQ(dialogs->Errors(), Texts{"'x' n'est pas une valeur entière correcte"});
  EXPECT_EQ(Bars(), Table({{1, 40}}));
  // The lowest 32-bit value lies far below 0 and acts as 0.
  form->Edit4->SetText("-2147483648");
  EXPECT_EQ(Bars(), Table({{1, 0}}));
}

TEST_F(TableEditor, SelectingANoteSendsOnlyWhenTheTrackBarMoves) {
  SelectNote(3);
  Type(form->Edit4, "100");
  Live(true);
  int redraws = 0;
  const TNotifyEvent repaint = form->Series2->OnChange;
  form->Series2->OnChange = [&](TObject* sender) {
    ++redraws;
    repaint(sender);
  };

  Click(form->UpDown6, Qt::UpArrow);  // 100 -> 0: stored again and sent
  EXPECT_EQ(form->Edit4->Text(), "0");
  EXPECT_EQ(TrackBarValue(), 0);
  EXPECT_EQ(Take(), Texts{"F0 70 7B 00 44 00 00 F7"});
  EXPECT_EQ(redraws, 1);

  Click(form->UpDown6, Qt::UpArrow);  // 0 -> 0: only the label changes
  EXPECT_EQ(form->lbNote->Caption(), "F 0");  // note 5 above base note 24
  EXPECT_EQ(Take(), Texts{});
  EXPECT_EQ(redraws, 1);
}

TEST_F(TableEditor, NoteFieldIgnoresTextThatIsNotANoteIndex) {
  Live(true);
  SelectNote(6);
  for (const char* typed : {"60", "6x", "x", "-1"}) {  // none passes a valid note on the way
    Type(form->Edit3, typed);
    EXPECT_EQ(form->Edit3->Text(), "6") << typed;
    EXPECT_EQ(form->UpDown6->Position(), 6) << typed;
  }
  // An emptied field waits for a number, and shows the note again when left.
  Type(form->Edit3, "");
  EXPECT_EQ(form->Edit3->Text(), "");
  QTest::keyClick(form->Edit3, Qt::Key_Return);
  EXPECT_EQ(form->Edit3->Text(), "6");
  Drag(false);
  EXPECT_EQ(Take(), Texts{"F0 70 7B 00 46 00 00 F7"});
}

TEST_F(TableEditor, NewTableClearsTheTableButNotTheFields) {
  SelectNote(5);
  Type(form->Edit4, "99");
  Live(true);
  QTest::mouseClick(form->SpeedButton1, Qt::LeftButton);
  EXPECT_EQ(Bars(), Values(48, 0));
  EXPECT_EQ(Line(), Values(48, 0));
  EXPECT_EQ(form->Edit4->Text(), "99");
  EXPECT_EQ(TrackBarValue(), 99);
  EXPECT_EQ(Take(), Texts{});
}

TEST_F(TableEditor, ThreeDTwoDSwitchesBetweenBarsAndLine) {
  EXPECT_TRUE(form->Series2->isVisible());
  EXPECT_FALSE(form->Series1->isVisible());
  QTest::mouseClick(form->SpeedButton11, Qt::LeftButton);
  EXPECT_TRUE(form->Series1->isVisible());
  EXPECT_FALSE(form->Series2->isVisible());
  QTest::mouseClick(form->SpeedButton11, Qt::LeftButton);
  EXPECT_FALSE(form->Series1->isVisible());
  EXPECT_TRUE(form->Series2->isVisible());
}

// ---- the generator window ----

TEST_F(TableEditor, GeneratorOpensBesideTheMainWindowAndFillsTheTable) {
  const QRect main = form->frameGeometry();
  const QPoint beside(main.x() + main.width(), main.y());
  QTest::mouseClick(form->SpeedButton10, Qt::LeftButton);
  EXPECT_EQ(Form3->frameGeometry().topLeft(), beside);
  EXPECT_EQ(Bars(), Values(48, 0));  // drawn from the table on opening
  EXPECT_EQ(Form3->bbNO->Caption(), "Annuler");

  QTest::mouseClick(Form3->bbOK, Qt::LeftButton);
  QTest::mouseClick(Form3->bbOK, Qt::LeftButton);  // twice is once
  EXPECT_EQ(Bars(), kRising);
  EXPECT_TRUE(Form3->isVisible());
  EXPECT_EQ(form->Edit4->Text(), "0");
  EXPECT_TRUE(SentHex().empty());

  QTest::mouseClick(Form3->Button1, Qt::LeftButton);  // Full Range sets, does not generate
  QTest::mouseClick(Form3->bbNO, Qt::LeftButton);
  EXPECT_FALSE(Form3->isVisible());
  EXPECT_EQ(Bars(), kRising);

  Form3->move(beside + QPoint(40, 40));
  QTest::mouseClick(form->SpeedButton10, Qt::LeftButton);
  EXPECT_EQ(Form3->frameGeometry().topLeft(), beside);
}

TEST_F(TableEditor, GeneratorUsesItsUpDownsAndKeysAndKeepsItsFields) {
  QTest::mouseClick(form->SpeedButton10, Qt::LeftButton);
  Form3->udNmin->SetPosition(40);
  Form3->udAmin->SetPosition(7);
  Form3->udAmax->SetPosition(7);
  QTest::keyClick(Form3->edNmin, Qt::Key_Return);  // Enter presses OK
  EXPECT_EQ(Bars(), Table({{40, 7}, {41, 7}, {42, 7}, {43, 7}, {44, 7}, {45, 7}, {46, 7}, {47, 7}}));
  QTest::keyClick(Form3->edNmin, Qt::Key_Escape);
  EXPECT_FALSE(Form3->isVisible());

  QTest::mouseClick(form->SpeedButton10, Qt::LeftButton);
  EXPECT_EQ(Form3->edNmin->Text(), "40");
  QTest::mouseClick(Form3->Button1, Qt::LeftButton);
  QTest::mouseClick(Form3->Button2, Qt::LeftButton);
  EXPECT_EQ(Form3->edNmin->Text(), "0");
  EXPECT_EQ(Form3->edNmax->Text(), "47");
  EXPECT_EQ(Form3->edAmin->Text(), "0");
  EXPECT_EQ(Form3->edAmax->Text(), "255");
}

// ---- pictures ----

// Where a value lies on screen, in the tab's coordinates.
QPoint OnTab(TForm1* form, double note, double value) {
  return form->Chart1->mapTo(form->TabTable, form->Chart1->MapToPosition(note, value)).toPoint();
}
bool IsTeal(QRgb c) { return qRed(c) < 80 && qGreen(c) > 100 && qBlue(c) > 100; }
bool NearAqua(const QImage& image, QPoint at) {
  for (int dx = -2; dx <= 2; ++dx)
    for (int dy = -2; dy <= 2; ++dy) {
      const QRgb c = image.pixel(at + QPoint(dx, dy));
      if (qRed(c) < 100 && qGreen(c) > 200 && qBlue(c) > 200) return true;
    }
  return false;
}

TEST_F(TableEditor, PicturesOfTheDefaultGeneratorTableAsBarsAndLine) {
  QTest::mouseClick(form->SpeedButton10, Qt::LeftButton);
  QTest::mouseClick(Form3->bbOK, Qt::LeftButton);
  Form3->hide();
  const auto shoot = [&](const char* name) {
    QApplication::processEvents();
    const QImage image = form->TabTable->grab().toImage();
    EXPECT_TRUE(image.save(QString::fromStdString((testing_support::ArtifactDir() / name).string())));
    return image;
  };
  const QImage bars = shoot("table-bars.png");
  // The line rises: at height 120 there is a bar at note 40, none at note 8.
  EXPECT_TRUE(IsTeal(bars.pixel(OnTab(form, 40, 120))));
  EXPECT_FALSE(IsTeal(bars.pixel(OnTab(form, 8, 120))));

  QTest::mouseClick(form->SpeedButton11, Qt::LeftButton);
  const QImage line = shoot("table-line.png");
  EXPECT_TRUE(NearAqua(line, OnTab(form, 24, 130)));
  EXPECT_FALSE(IsTeal(line.pixel(OnTab(form, 40, 120))));
}

}  // namespace
