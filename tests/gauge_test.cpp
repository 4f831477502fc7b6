// The percentage gauge and the progress window it fills.
#include <gtest/gtest.h>

#include <QTest>
#include <set>

#include "table/cgauge.h"
#include "table/form2.h"
#include "ui/exception.h"

namespace {

constexpr QRgb kBlack = 0x000000;
constexpr QRgb kAqua = 0x00FFFF;
constexpr QRgb kSilver = 0xC0C0C0;
// White percentage text XORed over the two colours.
constexpr QRgb kTextOnAqua = 0xFF0000;
constexpr QRgb kTextOnSilver = 0x3F3F3F;

QRgb At(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xFFFFFF; }

class PaintCounter : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
  int paints = 0;
};

TEST(Gauge, PercentageIsTheFlooredShareOfTheSpan) {
  TCGauge gauge;
  gauge.SetMaxValue(47);
  const std::vector<std::pair<int, int>> cases = {{0, 0}, {1, 2}, {23, 48}, {46, 97}, {47, 100}};
  for (auto [progress, percent] : cases) {
    gauge.SetProgress(progress);
    EXPECT_EQ(gauge.GetPercentDone(), percent) << "progress " << progress;
  }
  // The product would overflow 32 bits if it were formed in integers.
  gauge.SetMinValue(-2147483647);
  gauge.SetMaxValue(2147483647);
  gauge.SetProgress(2147483647);
  EXPECT_EQ(gauge.GetPercentDone(), 100);
  gauge.SetProgress(0);
  EXPECT_EQ(gauge.GetPercentDone(), 50);
}

TEST(Gauge, EqualBoundsShowZeroPercentAndAnEmptyBar) {
  TCGauge gauge;
  gauge.resize(50, 10);
  gauge.SetMaxValue(0);
  gauge.SetProgress(30);
  EXPECT_EQ(gauge.Progress(), 0);
  EXPECT_EQ(gauge.GetPercentDone(), 0);
  gauge.SetShowText(false);
  const QImage image = gauge.grab().toImage();
  for (int x = 1; x < 49; ++x) EXPECT_EQ(At(image, x, 5), 0xFFFFFFu);
}

TEST(Gauge, ProgressIsClampedNeverRefused) {
  TCGauge gauge;
  gauge.SetMaxValue(47);
  gauge.SetProgress(-5);
  EXPECT_EQ(gauge.Progress(), 0);
  gauge.SetProgress(200);
  EXPECT_EQ(gauge.Progress(), 47);
  EXPECT_EQ(gauge.GetPercentDone(), 100);
  gauge.AddProgress(2147483647);
  EXPECT_EQ(gauge.Progress(), 47);
  gauge.AddProgress(-100);
  EXPECT_EQ(gauge.Progress(), 0);
}

TEST(Gauge, BoundsThatWouldCrossAreRefusedWithTheRange) {
  TCGauge gauge;
  gauge.SetMinValue(10);
  gauge.SetMaxValue(20);
  try {
    gauge.SetMaxValue(9);
    FAIL() << "no error";
  } catch (const ERangeError& error) {
    EXPECT_STREQ(error.what(), "La valeur doit être comprise entre 11 et 2147483647");
  }
  try {
    gauge.SetMinValue(21);
    FAIL() << "no error";
  } catch (const ERangeError& error) {
    EXPECT_STREQ(error.what(), "La valeur doit être comprise entre -2147483647 et 19");
  }
  EXPECT_EQ(gauge.MinValue(), 10);
  EXPECT_EQ(gauge.MaxValue(), 20);
  // Bounds may meet.
  gauge.SetMaxValue(10);
  EXPECT_EQ(gauge.MaxValue(), 10);
}

TEST(Gauge, MovingABoundPastProgressPullsProgressAlong) {
  TCGauge gauge;
  gauge.SetProgress(60);
  gauge.SetMaxValue(40);
  EXPECT_EQ(gauge.Progress(), 40);
  gauge.SetMinValue(30);
  gauge.SetProgress(30);
  gauge.SetMinValue(35);
  EXPECT_EQ(gauge.Progress(), 35);
}

class ShownGauge : public ::testing::Test {
 protected:
  void SetUp() override {
    window.resize(200, 40);
    gauge = new TCGauge(&window);
    gauge->setGeometry(0, 0, 200, 40);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QCoreApplication::processEvents();
    gauge->installEventFilter(&counter);
  }
  QWidget window;
  TCGauge* gauge = nullptr;
  PaintCounter counter;
};

TEST_F(ShownGauge, RepaintsAtOnceOnlyWhenTheWholePercentageChanges) {
  gauge->SetProgress(20);
  EXPECT_EQ(counter.paints, 1);  // synchronously, without the event loop
  gauge->SetProgress(20);
  EXPECT_EQ(counter.paints, 1);

  gauge->SetMaxValue(1000);
  gauge->SetProgress(500);
  counter.paints = 0;
  gauge->SetProgress(505);  // 50 % still
  EXPECT_EQ(counter.paints, 0);
  gauge->SetProgress(510);
  EXPECT_EQ(counter.paints, 1);
  gauge->AddProgress(0);  // repaints in any case
  EXPECT_EQ(counter.paints, 2);
}

TEST_F(ShownGauge, PropertySettersRepaintOnlyOnARealChange) {
  gauge->SetForeColor(Qt::black);
  gauge->SetBackColor(Qt::white);
  gauge->SeTCGaugeKind(gkHorizontalBar);
  gauge->SetShowText(true);
  gauge->SetBorderStyle(bsSingle);
  gauge->SetMinValue(0);
  gauge->SetMaxValue(100);
  EXPECT_EQ(counter.paints, 0);

  gauge->SetForeColor(Qt::red);
  gauge->SetBackColor(Qt::blue);
  gauge->SeTCGaugeKind(gkVerticalBar);
  gauge->SetShowText(false);
  gauge->SetBorderStyle(bsNone);
  gauge->SetMinValue(-1);
  gauge->SetMaxValue(99);
  EXPECT_EQ(counter.paints, 7);
}

// The gauge of the progress window: 293 x 21, single border, aqua on silver.
class ProgressGauge : public ::testing::Test {
 protected:
  QImage Render(int progress, bool text) {
    form.CGauge1->SetProgress(progress);
    form.CGauge1->SetShowText(text);
    return form.CGauge1->grab().toImage();
  }
  TForm2 form;
};

TEST_F(ProgressGauge, ProgressWindowHoldsTheGaugeAsTheTransfersNeedIt) {
  EXPECT_EQ(form.windowTitle(), "Send Datas to MIDI");
  EXPECT_TRUE(form.windowFlags() & Qt::Tool);
  EXPECT_FALSE(form.windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(form.windowFlags() & Qt::WindowSystemMenuHint);
  EXPECT_EQ(form.size(), QSize(293, 21));
  EXPECT_EQ(form.minimumSize(), form.maximumSize());
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(form.CGauge1->geometry(), QRect(0, 0, 293, 21));
  EXPECT_EQ(form.CGauge1->MaxValue(), 47);
}

// Bar from x = 1 up to (not including) 1 + filled, inside a 1-pixel black frame.
void ExpectBar(const QImage& image, int filled) {
  ASSERT_EQ(image.size(), QSize(293, 21));
  for (int y = 0; y < 21; ++y) {
    for (int x = 0; x < 293; ++x) {
      const bool frame = x == 0 || y == 0 || x == 292 || y == 20;
      const QRgb expected = frame ? kBlack : x < 1 + filled ? kAqua : kSilver;
      ASSERT_EQ(At(image, x, y), expected) << "at " << x << "," << y;
    }
  }
}

TEST_F(ProgressGauge, BarGeometryWithoutText) {
  ExpectBar(Render(0, false), 0);
  // 48 % of the 292 pixels the paint routine counts: 140, which ends at x = 139.
  ExpectBar(Render(23, false), 139);
  ExpectBar(Render(47, false), 291);
}

TEST_F(ProgressGauge, TextIsTheInverseOfWhatLiesBeneath) {
  struct Case {
    int progress;
    std::set<QRgb> textColours;
  };
  for (const Case& c : {Case{0, {kTextOnSilver}}, Case{23, {kTextOnAqua, kTextOnSilver}},
                        Case{47, {kTextOnAqua}}}) {
    const QImage plain = Render(c.progress, false);
    const QImage withText = Render(c.progress, true);
    std::set<QRgb> seen;
    for (int y = 0; y < 21; ++y) {
      for (int x = 0; x < 293; ++x) {
        const QRgb under = At(plain, x, y);
        const QRgb shown = At(withText, x, y);
        if (shown == under) continue;
        // Text only inside the frame, exactly inverted.
        ASSERT_TRUE(x > 0 && y > 0 && x < 292 && y < 20) << x << "," << y;
        ASSERT_EQ(shown, under ^ 0xFFFFFF) << x << "," << y;
        seen.insert(shown);
      }
    }
    EXPECT_EQ(seen, c.textColours) << "progress " << c.progress;
  }
}

TEST(Gauge, PieFillsClockwiseFromTwelveOClock) {
  TCGauge gauge;
  gauge.SeTCGaugeKind(gkPie);
  gauge.SetShowText(false);
  gauge.SetForeColor(QColor(kAqua));
  gauge.SetColor(QColor(kSilver));
  gauge.SetProgress(50);
  const QImage image = gauge.grab().toImage();
  EXPECT_EQ(At(image, 0, 0), kBlack);
  EXPECT_EQ(At(image, 3, 3), kSilver);     // outside the dial
  EXPECT_EQ(At(image, 75, 30), kAqua);     // right half: done
  EXPECT_EQ(At(image, 25, 30), 0xFFFFFFu);  // left half: to do
}

}  // namespace
