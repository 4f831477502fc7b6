// The note table editor of the "Table" tab: the note field selects an entry, the
// track bar (upside down) and the "DAC" field set its value, the chart shows all.
#include <algorithm>

#include "app/form1.h"
#include "config/gate_outputs.h"
#include "table/str_to_int.h"
#include "table/table_chart.h"

namespace {

constexpr int kTop = 255;  // value at the top of the track bar, whose position there is 0

// Puts a value in the "DAC" field, and in its up-down, which an attached up-down
// reads from its field before it steps.
void ShowDac(TForm1& form, int value) {
  form.Edit4->SetText(QString::number(value));
  form.UpDown7->SetPosition(value);
}

}  // namespace

void TForm1::RefreshTableChart() { ShowTableInChart(Series1, Series2, FNoteTable); }

void TForm1::Edit3Change(TObject*) {
  bool ok = false;
  const int note = Edit3->Text().trimmed().toInt(&ok);
  if (!ok || note < UpDown6->Min() || note > UpDown6->Max()) {
    // Not a note: ignored, the last valid one stays. An emptied field is left to
    // be typed into, and shows that note again when the user leaves it.
    UpDown6->SetPosition(FTableNote);
    if (!Edit3->Text().trimmed().isEmpty()) Edit3->SetText(QString::number(FTableNote));
    return;
  }
  FTableNote = note;
  UpDown6->SetPosition(note);
  lbNote->SetCaption(NoteName(note, UpDown2->Position()));
  ShowDac(*this, FNoteTable[note]);
}

void TForm1::Edit4Change(TObject*) {
  const QString text = Edit4->Text();
  if (text.isEmpty() || text == " ") return;
  const long long value = StrToInt(text);
  TrackBar1->SetPosition(static_cast<int>(std::clamp(kTop - value, 0LL, 255LL)));
}

void TForm1::TrackBarChange(TObject*) {
  const int value = kTop - TrackBar1->Position();
  ShowDac(*this, value);
  FNoteTable[FTableNote] = value;
  RefreshTableChart();
  SendOneNoteTableSysex();
}

// "New Table": zeros everywhere; the fields and the track bar keep their value.
void TForm1::SpeedButton1Click(TObject*) {
  FNoteTable.fill(0);
  RefreshTableChart();
}

// "3D/2D": bars or line, exactly one of them shown.
void TForm1::SpeedButton11Click(TObject*) {
  Series1->setVisible(!Series1->isVisible());
  Series2->setVisible(!Series2->isVisible());
}
