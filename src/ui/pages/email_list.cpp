#include "ui/pages/email_list.h"

#include "config/text_util.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>

#include "config/settings_store.h"
#include "ui/pages/email_columns.h"
#include "ui/pages/envelope_table_model.h"

namespace bc {

EmailTableView::EmailTableView(QWidget* parent) : QTableView(parent) {
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setTabKeyNavigation(false);
  setShowGrid(false);
  setWordWrap(false);
  setCornerButtonEnabled(false);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  verticalHeader()->hide();
  // One fixed row height: the view then never measures rows, which keeps
  // appending and sorting thousands of rows cheap.
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  QHeaderView* header = horizontalHeader();
  header->setSectionsMovable(false);
  header->setStretchLastSection(false);
  header->setHighlightSections(false);
  header->setSortIndicatorShown(false);  // shown once the rows are sorted
  header->setSectionsClickable(true);
  header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  header->setSectionResizeMode(QHeaderView::Interactive);
  // The selection stays as visible when another control has the focus.
  QPalette colors = palette();
  for (const auto role : {QPalette::Highlight, QPalette::HighlightedText}) {
    colors.setColor(QPalette::Inactive, role, colors.color(QPalette::Active, role));
  }
  setPalette(colors);
}

void EmailTableView::SettleLayout() {
  executeDelayedItemsLayout();
  updateGeometries();
}

void EmailTableView::mouseReleaseEvent(QMouseEvent* event) {
  QTableView::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton) {
    Q_EMIT MouseClicked();
  }
}

EmailList::EmailList(const EnvelopeStore& store, SettingsStore& settings, QWidget* parent)
    : QWidget(parent), store_(store), settings_(settings) {
  setObjectName(QStringLiteral("emailListPage"));
  model_ = new EnvelopeTableModel(this);
  view_ = new EmailTableView(this);
  view_->setObjectName(QStringLiteral("emailList"));
  view_->setModel(model_);
  view_->setAccessibleName(QStringLiteral("Messages"));

  auto* accountsLabel = new QLabel(QStringLiteral("Accounts:"), this);
  auto* emailsLabel = new QLabel(QStringLiteral("Emails:"), this);
  accountsBar_ = new QProgressBar(this);
  accountsBar_->setObjectName(QStringLiteral("accountsProgress"));
  emailsBar_ = new QProgressBar(this);
  emailsBar_->setObjectName(QStringLiteral("emailsProgress"));
  accountsLabel->setBuddy(accountsBar_);
  emailsLabel->setBuddy(emailsBar_);
  accountsBar_->setAccessibleName(QStringLiteral("Accounts"));
  emailsBar_->setAccessibleName(QStringLiteral("Emails"));
  for (QProgressBar* bar : {accountsBar_, emailsBar_}) {
    bar->setTextVisible(false);
    bar->setRange(0, 1);  // 0 to 0 would make Qt show a busy bar
    bar->setValue(0);
    bar->setFixedHeight(11);  // thin, as the labels beside it
  }

  // The list fills the page above the two progress rows; the labels line up
  // with the list's left edge and the bars run to its right edge.
  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(15, 16, 19, 14);
  layout->setHorizontalSpacing(4);
  layout->setVerticalSpacing(5);
  layout->addWidget(view_, 0, 0, 1, 2);
  layout->addWidget(accountsLabel, 1, 0);
  layout->addWidget(accountsBar_, 1, 1);
  layout->addWidget(emailsLabel, 2, 0);
  layout->addWidget(emailsBar_, 2, 1);
  problems_ = new CheckProblemsBox(this);
  layout->addWidget(problems_, 3, 0, 1, 2);
  emptyHint_ = new QLabel(QString::fromLatin1(kEnvelopeDisplayOffHint), this);
  emptyHint_->setObjectName(QStringLiteral("emptyListHint"));
  emptyHint_->setWordWrap(true);
  emptyHint_->setAlignment(Qt::AlignCenter);
  emptyHint_->setContentsMargins(20, 0, 20, 0);
  emptyHint_->setEnabled(false);  // greyed, like a placeholder text
  emptyHint_->hide();
  layout->addWidget(emptyHint_, 0, 0, 1, 2);
  layout->setColumnMinimumWidth(0, 48);
  layout->setColumnStretch(1, 1);
  layout->setRowStretch(0, 1);

  for (const FieldInfo& info : kFields) {
    if (info.columnFlag != nullptr) {
      const auto index = static_cast<size_t>(info.field);
      widths_[index] = ReadColumnWidth(settings_, info.field);
      writtenWidths_[index] = settings_.ReadValue("", ColumnInfoOf(info.field).widthValue);
    }
  }

  QHeaderView* header = view_->horizontalHeader();
  header->viewport()->installEventFilter(this);
  view_->viewport()->installEventFilter(this);
  connect(header, &QHeaderView::sectionClicked, this, &EmailList::OnHeaderClicked);
  connect(header, &QHeaderView::sectionResized, this,
          [this](int column, int, int newSize) { OnSectionResized(column, newSize); });
  connect(view_, &EmailTableView::MouseClicked, this, [this] { Q_EMIT Clicked(SelectedCount()); });
}

EmailList::~EmailList() = default;

bool EmailList::eventFilter(QObject* watched, QEvent* event) {
  // The header reports a click without the keys held; take them from the
  // mouse event that makes the click.
  if (watched == view_->horizontalHeader()->viewport() &&
      (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease)) {
    headerModifiers_ = static_cast<QMouseEvent*>(event)->modifiers();
  }
  if (watched == view_->viewport() && event->type() == QEvent::Resize) {
    FitFreeWidth();
  }
  return QWidget::eventFilter(watched, event);
}

void EmailList::OnSectionResized(int column, int newSize) {
  const std::vector<Field>& columns = model_->columns();
  if (fitting_ || column < 0 || column >= static_cast<int>(columns.size())) {
    return;
  }
  widths_[static_cast<size_t>(columns[static_cast<size_t>(column)])] = newSize;
  FitFreeWidth();
}

void EmailList::FitFreeWidth() {
  const std::vector<Field>& columns = model_->columns();
  const auto subject = std::find(columns.begin(), columns.end(), Field::Subject);
  if (fitting_ || subject == columns.end()) {
    return;
  }
  const int fill = static_cast<int>(subject - columns.begin());
  QHeaderView* header = view_->horizontalHeader();
  int others = 0;
  for (int i = 0; i < header->count(); ++i) {
    others += i == fill ? 0 : header->sectionSize(i);
  }
  // The user's own width is the least Subject gets; it is the width stored.
  const int width =
      std::max(widths_[static_cast<size_t>(Field::Subject)], view_->viewport()->width() - others);
  if (header->sectionSize(fill) != width) {
    fitting_ = true;
    header->resizeSection(fill, width);
    fitting_ = false;
  }
}

void EmailList::SaveWidths() {
  bool changed = false;
  for (const FieldInfo& info : kFields) {
    if (info.columnFlag == nullptr) {
      continue;
    }
    const auto index = static_cast<size_t>(info.field);
    const std::string text = std::to_string(widths_[index]);
    if (text != writtenWidths_[index]) {
      settings_.WriteValue("", ColumnInfoOf(info.field).widthValue, text);
      writtenWidths_[index] = text;
      changed = true;
    }
  }
  if (changed) {
    settings_.Commit();
  }
}

void EmailList::Rebuild(const AppOptions& options) {
  if (built_) {
    SaveWidths();
  } else {
    // The first build has only read the widths: all it would write are the
    // defaults a new settings file lacks, and the write waits for the disk.
    // They are written once the window is up.
    built_ = true;
    QTimer::singleShot(0, this, [this] { SaveWidths(); });
  }
  // The place the user had: after a pass, the one its Clear kept.
  const std::set<std::string> keys = SelectedKeys();
  const bool selectFirst = inPass_ ? selectFirst_ : model_->rowCount() == 0;
  const std::string topKey = inPass_ ? keptTopKey_ : TopRowKey();
  const int top = inPass_ ? keptTop_ : view_->verticalScrollBar()->value();
  const int left = inPass_ ? keptLeft_ : view_->horizontalScrollBar()->value();
  inPass_ = false;
  keep_.clear();

  const std::vector<Field> columns = ListColumns(options);
  for (const Field field : columns) {
    widths_[static_cast<size_t>(field)] = ReadColumnWidth(settings_, field);
  }
  std::vector<Envelope> entries = store_.Snapshot();
  appendedSinceClear_ = static_cast<int>(entries.size());
  fitting_ = true;
  model_->Reset(columns, std::move(entries));
  QHeaderView* header = view_->horizontalHeader();
  for (size_t i = 0; i < columns.size(); ++i) {
    header->resizeSection(static_cast<int>(i), widths_[static_cast<size_t>(columns[i])]);
  }
  fitting_ = false;
  emptyHint_->setText(
      QString::fromLatin1(options.ShowEnvelopeInfo ? kNoColumnsHint : kEnvelopeDisplayOffHint));
  emptyHint_->setVisible(columns.empty());
  if (columns.empty()) {
    header->setSortIndicatorShown(false);
    return;
  }
  SelectKept(keys, selectFirst);
  Sort(sort_.AfterRebuild(columns));
  FitFreeWidth();
  ScrollBack(topKey, top, left);
}

void EmailList::ScrollBack(const std::string& topKey, int fallbackTop, int left) {
  view_->SettleLayout();
  const std::vector<int> rows =
      topKey.empty() ? std::vector<int>{} : model_->RowsWithKeys({topKey});
  if (rows.empty()) {
    view_->verticalScrollBar()->setValue(fallbackTop);
  } else {
    view_->scrollTo(model_->index(rows.front(), 0), QAbstractItemView::PositionAtTop);
  }
  view_->horizontalScrollBar()->setValue(left);
}

std::string EmailList::TopRowKey() const {
  return model_->KeyAt(view_->rowAt(0));
}

void EmailList::Sort(const std::vector<SortKey>& keys) {
  model_->Sort(keys);
  QHeaderView* header = view_->horizontalHeader();
  header->setSortIndicatorShown(!keys.empty());
  if (!keys.empty()) {
    header->setSortIndicator(keys.front().column,
                             keys.front().ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
  }
}

void EmailList::SetCheckProblems(const std::vector<CheckProblem>& problems) {
  problems_->SetProblems(problems);
}

void EmailList::Clear() {
  if (!inPass_) {
    inPass_ = true;
    keep_ = SelectedKeys();
    selectFirst_ = model_->rowCount() == 0;
    keptTopKey_ = TopRowKey();
    keptTop_ = view_->verticalScrollBar()->value();
    keptLeft_ = view_->horizontalScrollBar()->value();
  }
  model_->ClearRows();
  appendedSinceClear_ = 0;
}

void EmailList::ReloadRows() {
  std::set<std::string> keys = SelectedKeys();
  keys.insert(keep_.begin(), keep_.end());
  std::vector<Envelope> entries = store_.Snapshot();
  appendedSinceClear_ = static_cast<int>(entries.size());
  model_->Reset(model_->columns(), std::move(entries));
  SelectKept(keys, selectFirst_);
}

void EmailList::SelectKept(const std::set<std::string>& keys, bool selectFirst) {
  const std::vector<int> rows = model_->RowsWithKeys(keys);
  if (rows.empty() && selectFirst) {
    SelectOnly(0);
  } else {
    SelectRows(rows);
  }
}

void EmailList::SelectRows(const std::vector<int>& rows) {
  QItemSelection selection;
  const int last = model_->columnCount() - 1;
  for (const int row : rows) {
    selection.select(model_->index(row, 0), model_->index(row, last));
  }
  view_->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

void EmailList::AppendEnvelope(int storeIndex, const Envelope& envelope) {
  if (storeIndex < appendedSinceClear_) {
    return;  // a reload already took it from the store
  }
  if (storeIndex > appendedSinceClear_) {
    ReloadRows();  // a row went missing: show the store as it is now
    return;
  }
  ++appendedSinceClear_;
  model_->AppendRow(envelope);
  const int row = model_->rowCount() - 1;
  if (keep_.contains(model_->KeyAt(row))) {
    view_->selectionModel()->select(model_->index(row, 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
  } else if (selectFirst_ && row == 0 && !view_->selectionModel()->hasSelection()) {
    SelectOnly(0);  // as a rebuild of an empty list does
  }
}

void EmailList::SetAccountsProgress(int position, int maximum) {
  accountsBar_->setRange(0, std::max(maximum, 1));
  accountsBar_->setValue(std::clamp(position, 0, std::max(maximum, 1)));
}

void EmailList::SetEmailsProgress(int position, int maximum) {
  emailsBar_->setRange(0, std::max(maximum, 1));
  emailsBar_->setValue(std::clamp(position, 0, std::max(maximum, 1)));
}

void EmailList::OnHeaderClicked(int column) {
  SortByHeader(column, headerModifiers_.testFlag(Qt::ControlModifier));
}

void EmailList::SortByHeader(int column, bool ctrlHeld) {
  if (column < 0 || column >= model_->columnCount()) {
    return;
  }
  const Field field = model_->columns()[static_cast<size_t>(column)];
  Sort(ctrlHeld ? sort_.CtrlClick(column, field) : sort_.PlainClick(column, field));
}

void EmailList::SaveSortDirection() {
  sort_.SaveSortDirection(model_->columns());
}

void EmailList::MoveSelection(int row, bool playActive, bool readAll) {
  if (playActive && !readAll) {
    return;
  }
  SelectOnly(row);
}

std::vector<int> EmailList::SelectedRows() const {
  std::vector<int> rows;
  const QModelIndexList selected = view_->selectionModel()->selectedRows();
  rows.reserve(static_cast<size_t>(selected.size()));
  for (const QModelIndex& index : selected) {
    rows.push_back(index.row());
  }
  std::sort(rows.begin(), rows.end());
  return rows;
}

std::set<std::string> EmailList::SelectedKeys() const {
  std::set<std::string> keys;
  for (const int row : SelectedRows()) {
    keys.insert(model_->KeyAt(row));
  }
  return keys;
}

void EmailList::SelectKeys(const std::set<std::string>& keys) {
  SelectRows(model_->RowsWithKeys(keys));
}

std::string EmailList::SelectionSummary(int shownRows) const {
  constexpr int kMaxChars = 60;  // server text: enough to know the message by
  const auto shown = [](QString text, const char* ifEmpty) {
    text = text.simplified();
    if (text.isEmpty()) {
      return QString::fromLatin1(ifEmpty);
    }
    return text.size() > kMaxChars ? text.left(kMaxChars) + QChar(0x2026) : text;
  };
  const std::vector<int> rows = SelectedRows();
  QStringList lines;
  for (size_t i = 0; i < rows.size() && static_cast<int>(i) < shownRows; ++i) {
    QString sender = model_->FieldText(rows[i], Field::From);
    if (sender.trimmed().isEmpty()) {
      sender = model_->FieldText(rows[i], Field::Address);
    }
    lines << shown(sender, "(no sender)") + QStringLiteral(": ") +
                 shown(model_->FieldText(rows[i], Field::Subject), "(no subject)");
  }
  const int more = static_cast<int>(rows.size()) - shownRows;
  if (more > 0) {
    lines << QStringLiteral("and %1 more").arg(more);
  }
  return lines.join(QLatin1Char('\n')).toStdString();
}

int EmailList::SelectedCount() const {
  return static_cast<int>(view_->selectionModel()->selectedRows().size());
}

int EmailList::RowCount() const {
  return model_->rowCount();
}

std::vector<long long> EmailList::SelectedMessageIds() const {
  std::vector<long long> ids;
  for (const int row : SelectedRows()) {
    ids.push_back(model_->MessageIdAt(row));
  }
  return ids;
}

void EmailList::SelectAll() {
  const int rows = model_->rowCount();
  const int columns = model_->columnCount();
  if (rows == 0 || columns == 0) {
    return;
  }
  view_->selectionModel()->select(
      QItemSelection(model_->index(0, 0), model_->index(rows - 1, columns - 1)),
      QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void EmailList::SelectOnly(int row) {
  QItemSelectionModel* selection = view_->selectionModel();
  if (row < 0 || row >= model_->rowCount() || model_->columnCount() == 0) {
    selection->clearSelection();
    return;
  }
  // Selected, not made current: the keyboard focus row stays where it was.
  selection->select(model_->index(row, 0),
                    QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

std::optional<long long> EmailList::FirstSelectedMessageId() {
  const std::vector<int> rows = SelectedRows();
  if (rows.empty()) {
    return std::nullopt;
  }
  return model_->MessageIdAt(rows.front());
}

void EmailList::RemoveRow(long long messageId) {
  const int row = model_->RowOfMessageId(messageId);
  if (row >= 0) {
    model_->RemoveRowAt(row);
    // Its store entry goes too: the next row appended has the store's next index.
    appendedSinceClear_ = std::max(0, appendedSinceClear_ - 1);
  }
}

void EmailList::RenumberRows(int accountIndex, int deletedIndex) {
  model_->RenumberAfterDeletion(accountIndex, deletedIndex);
}

}  // namespace bc
