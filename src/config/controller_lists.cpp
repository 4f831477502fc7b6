// Every source list offers the same 128 controller entries.
#include "app/form1.h"
#include "config/controller_names.h"

void TForm1::FillControllerLists() {
  QStringList entries;
  for (int i = 0; i < kControllerEntries; ++i) entries << ControllerName(i);
  for (TComboBox* list : {ComboBox5, ComboBox6, ComboBox2, ComboBox1, ComboBox7, ComboBox8,
                          ComboBox3, ComboBox4, ComboBox9, ComboBox10}) {
    list->clear();
    list->addItems(entries);
  }
  for (TComboBox* list : {ComboBox5, ComboBox6, ComboBox2, ComboBox1, ComboBox7, ComboBox8,
                          ComboBox3, ComboBox4, ComboBox9, ComboBox10})
    list->SetItemIndex(0);
}
