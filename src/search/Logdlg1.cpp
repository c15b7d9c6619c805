#include "search/Logdlg1.h"

#include <QButtonGroup>
#include <QFont>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <unordered_set>

#include "log/Logunit1.h"
#include "platform/Codec.h"
#include "platform/Interaction.h"

namespace kest {

std::vector<std::string> SpeakerEntries(const TLogCtrl& index) {
  // Distinct entries first (a log has few posters and many remarks), then
  // sorted: the same list as sorting every entry and dropping neighbours
  // that are equal.
  std::unordered_set<std::string> seen;
  std::string entry;
  for (std::int32_t i = 0; i < index.Count(); ++i) {
    const TLogData& r = index.GetItem(IndexPos(i));
    entry.assign(r.ID());
    entry += ' ';
    entry.append(r.Speaker());
    seen.insert(entry);
  }
  std::vector<std::string> out(seen.begin(), seen.end());
  std::sort(out.begin(), out.end());
  return out;
}

TNameDlg::TNameDlg(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("NameDlg"));
  setWindowTitle(QStringLiteral("発言者の選択"));
  setAccessibleName(QStringLiteral("発言者の選択"));
  setFixedSize(355, 259);
  setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

  auto* panel = new QFrame(this);
  panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  panel->setLineWidth(2);
  panel->setGeometry(8, 8, 225, 241);
  ListBox1 = new QListWidget(panel);
  ListBox1->setObjectName(QStringLiteral("ListBox1"));
  ListBox1->setAccessibleName(QStringLiteral("発言者の一覧"));
  QFont mono(QStringLiteral("ＭＳ ゴシック"));
  mono.setPixelSize(16);
  ListBox1->setFont(mono);
  ListBox1->setUniformItemSizes(true);
  // A long name that does not fit the list's width can be scrolled to, and
  // is shown whole in its tooltip.
  ListBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  ListBox1->setTextElideMode(Qt::ElideNone);  // the speaker field ends in blanks
  auto* panelLayout = new QVBoxLayout(panel);
  panelLayout->setContentsMargins(2, 2, 2, 2);
  panelLayout->addWidget(ListBox1);

  auto* bevel = new QFrame(this);
  bevel->setFrameStyle(QFrame::Box | QFrame::Sunken);
  bevel->setGeometry(240, 8, 109, 243);

  OKBtn = new QPushButton(QStringLiteral("OK"), this);
  OKBtn->setObjectName(QStringLiteral("OKBtn"));
  OKBtn->setAccessibleName(QStringLiteral("OK"));
  OKBtn->setGeometry(256, 16, 81, 25);
  OKBtn->setDefault(true);
  CancelBtn = new QPushButton(QStringLiteral("キャンセル"), this);
  CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
  CancelBtn->setAccessibleName(QStringLiteral("キャンセル"));
  CancelBtn->setGeometry(256, 48, 81, 25);

  UpButton = new QToolButton(this);
  UpButton->setObjectName(QStringLiteral("UpButton"));
  UpButton->setArrowType(Qt::UpArrow);
  UpButton->setAccessibleName(QStringLiteral("一つ上の発言者"));
  UpButton->setToolTip(QStringLiteral("一つ上の発言者"));
  UpButton->setGeometry(280, 80, 33, 25);
  Label1 = new QLabel(QStringLiteral("移動"), this);
  Label1->setGeometry(280, 112, 33, 20);
  Label1->setAlignment(Qt::AlignCenter);
  DownButton = new QToolButton(this);
  DownButton->setObjectName(QStringLiteral("DownButton"));
  DownButton->setArrowType(Qt::DownArrow);
  DownButton->setAccessibleName(QStringLiteral("一つ下の発言者"));
  DownButton->setToolTip(QStringLiteral("一つ下の発言者"));
  DownButton->setGeometry(280, 136, 33, 25);

  SearchSel = new QGroupBox(QStringLiteral("検索方向"), this);
  SearchSel->setObjectName(QStringLiteral("SearchSel"));
  SearchSel->setAccessibleName(QStringLiteral("検索方向"));
  SearchSel->setGeometry(248, 168, 97, 73);
  QFont selFont(QStringLiteral("ＭＳ ゴシック"));
  selFont.setPixelSize(15);
  SearchSel->setFont(selFont);
  SearchSelGroup = new QButtonGroup(this);
  auto* up = new QRadioButton(QStringLiteral("上を検索"), SearchSel);
  up->setAccessibleName(QStringLiteral("上を検索"));
  auto* down = new QRadioButton(QStringLiteral("下を検索"), SearchSel);
  down->setAccessibleName(QStringLiteral("下を検索"));
  SearchSelGroup->addButton(up, 0);
  SearchSelGroup->addButton(down, 1);
  down->setChecked(true);
  auto* selLayout = new QVBoxLayout(SearchSel);
  selLayout->setContentsMargins(4, 2, 0, 2);
  selLayout->setSpacing(2);
  selLayout->addWidget(up);
  selLayout->addWidget(down);

  connect(OKBtn, &QPushButton::clicked, this, &TNameDlg::OKBtnClick);
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
  connect(UpButton, &QToolButton::clicked, this, &TNameDlg::UpButtonClick);
  connect(DownButton, &QToolButton::clicked, this, &TNameDlg::DownButtonClick);
  connect(ListBox1, &QListWidget::currentRowChanged, this, [this] { UpdateMoveButtons(); });
  connect(ListBox1, &QListWidget::itemDoubleClicked, this, [this] { OKBtnClick(); });
  setTabOrder(ListBox1, OKBtn);
  setTabOrder(OKBtn, CancelBtn);
  setTabOrder(CancelBtn, UpButton);
  setTabOrder(UpButton, DownButton);
}

void TNameDlg::Fill(const TLogCtrl& index) {
  entries_ = SpeakerEntries(index);
  ListBox1->clear();
  for (const std::string& e : entries_) {
    auto* item = new QListWidgetItem(QString::fromUtf8(SjisToUtf8(e)), ListBox1);
    item->setToolTip(item->text().trimmed());
  }
  filledFrom_ = &index;
}

void TNameDlg::Prepare(const TLogCtrl& index, bool stale, int searchKind, std::string_view shownId,
                       std::uint8_t speakerDirection) {
  WaitCursor wait;
  if (stale || searchKind == 1 || filledFrom_ != &index) Fill(index);
  int row = entries_.empty() ? -1 : 0;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (shownId.size() == 8 && std::string_view(entries_[i]).substr(0, 8) == shownId) {
      row = static_cast<int>(i);
      break;
    }
  }
  ListBox1->setCurrentRow(row);
  UpdateMoveButtons();
  SearchSelGroup->button(speakerDirection == 1 ? 0 : 1)->setChecked(true);
  ListBox1->setFocus();
}

bool TNameDlg::ShowSpeakers(const TLogCtrl& index, bool stale, int searchKind, std::string_view shownId,
                            std::uint8_t speakerDirection) {
  Prepare(index, stale, searchKind, shownId, speakerDirection);
  Ui().Beep();
  return Ui().RunModal(*this) && ListBox1->currentRow() >= 0;
}

void TNameDlg::UpdateMoveButtons() {
  const int row = ListBox1->currentRow();
  const int last = ListBox1->count() - 1;
  UpButton->setEnabled(row > 0);
  DownButton->setEnabled(row >= 0 && row < last);
}

void TNameDlg::UpButtonClick() {
  if (ListBox1->currentRow() > 0) ListBox1->setCurrentRow(ListBox1->currentRow() - 1);
  UpdateMoveButtons();
}

void TNameDlg::DownButtonClick() {
  if (ListBox1->currentRow() < ListBox1->count() - 1) ListBox1->setCurrentRow(ListBox1->currentRow() + 1);
  UpdateMoveButtons();
}

void TNameDlg::OKBtnClick() {
  direction_ = SearchSelIndex() == 0 ? 1 : 0;
  accept();
}

int TNameDlg::SearchSelIndex() const { return SearchSelGroup->checkedId(); }

std::string TNameDlg::SelectedEntry() const {
  const int row = ListBox1->currentRow();
  return row >= 0 && row < static_cast<int>(entries_.size()) ? entries_[row] : std::string();
}

}  // namespace kest
