// The title list model: Qt's model checker over every change the window
// makes (build, unfold, fold, column toggle, rebuild in another order), the
// line texts per order against the core's, and the line <-> remark mapping.
#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

#include "core/LogFixture.h"
#include "log/Logunit1.h"
#include "platform/Codec.h"
#include "ui/TitleListModel.h"

using namespace kest;
using namespace kest::test;

namespace {

// (1), (2 -> 1), (3 -> 1), (4 -> 2), (5 -> 1), (6 -> 4), (7), (8 -> 9)
std::unique_ptr<TLogCtrl> ScanThreadLog(const TempDir& dir) {
  std::string s = "title\r\n\r\n";
  const std::pair<int, int> remarks[] = {{1, 0}, {2, 1}, {3, 1}, {4, 2},
                                         {5, 1}, {6, 4}, {7, 0}, {8, 9}};
  for (auto [n, to] : remarks) {
    std::string title = "t";
    title.push_back(static_cast<char>('0' + n));  // n < 10
    s += Remark(Header5(n, "ABC01234", "poster", title), Line2("96/03/01", to));
  }
  auto index = std::make_unique<TLogCtrl>();
  ScanLog(dir.Write("a.log", s), *index);
  return index;
}

QString Text(const TitleListModel& m, int row) { return m.data(m.index(row)).toString(); }

QStringList Numbers(const TitleListModel& m) {
  QStringList l;
  for (int r = 0; r < m.rowCount(); ++r) {
    l << QString::number(m.Index()->GetNumber(m.PositionOf(ListLine(r))).v);
  }
  return l;
}

}  // namespace

class TitleListModelTest : public QObject {
  Q_OBJECT

 private slots:
  void checkerOverEveryChange() {
    TempDir dir;
    auto index = ScanThreadLog(dir);
    TitleListModel m;
    QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(m.rowCount(), 0);
    m.SetIndex(index.get());
    QCOMPARE(m.rowCount(), 0);  // no order built yet

    m.Build(SortOrder::ContentFolded);
    QCOMPARE(Numbers(m), QStringList({"1", "7", "8"}));
    QSignalSpy inserted(&m, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&m, &QAbstractItemModel::rowsRemoved);
    QSignalSpy changed(&m, &QAbstractItemModel::dataChanged);

    QVERIFY(m.ToggleFold(ListLine(0)));  // 1: replies 2, 3, 5
    QCOMPARE(Numbers(m), QStringList({"1", "2", "3", "5", "7", "8"}));
    QCOMPARE(inserted.size(), 1);
    QCOMPARE(inserted[0][1].toInt(), 1);
    QCOMPARE(inserted[0][2].toInt(), 3);
    QVERIFY(!changed.isEmpty());  // line 0 shows "-" now
    QVERIFY(Text(m, 0).startsWith(QStringLiteral(" -1 ")));

    QVERIFY(m.ToggleFold(ListLine(1)));  // 2: reply 4
    QVERIFY(m.ToggleFold(ListLine(2)));  // 4: reply 6
    QCOMPARE(Numbers(m), QStringList({"1", "2", "4", "6", "3", "5", "7", "8"}));
    QVERIFY(Text(m, 3).startsWith(QStringLiteral(" ┃  ┗  6 ")));

    changed.clear();
    ColumnSwitches cols;
    cols.ShowDate = true;
    cols.ShowNumber = false;
    m.SetColumns(cols);
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed[0][0].toModelIndex().row(), 0);
    QCOMPARE(changed[0][1].toModelIndex().row(), m.rowCount() - 1);
    QCOMPARE(m.rowCount(), 8);  // the fold state stays
    QVERIFY(Text(m, 0).startsWith(QStringLiteral(" -96/03/01 ABC01234 poster")));

    QVERIFY(m.ToggleFold(ListLine(0)));  // fold everything below 1
    QCOMPARE(Numbers(m), QStringList({"1", "7", "8"}));
    QCOMPARE(removed.size(), 1);
    QCOMPARE(removed[0][1].toInt(), 1);
    QCOMPARE(removed[0][2].toInt(), 5);
    QVERIFY(Text(m, 0).startsWith(QStringLiteral(" +96/03/01")));

    QVERIFY(!m.ToggleFold(ListLine(2)));  // 8 is the last remark in content order
    QVERIFY(m.ToggleFold(ListLine(1)));   // 7 has no replies: nothing inserted
    QCOMPARE(m.rowCount(), 3);

    m.Build(SortOrder::Remark);
    QCOMPARE(Numbers(m), QStringList({"1", "2", "3", "4", "5", "6", "7", "8"}));
    QVERIFY(!m.ToggleFold(ListLine(0)));
    QCOMPARE(m.ItemOf(ListLine(0)), nullptr);
    m.Build(SortOrder::ContentFull);
    QCOMPARE(Numbers(m), QStringList({"1", "2", "4", "6", "3", "5", "7", "8"}));
    m.Build(static_cast<SortOrder>(7));  // an order that does not exist: no lines
    QCOMPARE(m.rowCount(), 0);
    m.Build(SortOrder::ContentFolded);
    m.SetIndex(nullptr);
    QCOMPARE(m.rowCount(), 0);
    QVERIFY(!m.data(m.index(0)).isValid());
  }

  // Every line's text is the core's line text, converted for display.
  void lineTextsFollowTheCore() {
    TempDir dir;
    auto index = ScanThreadLog(dir);
    TitleListModel m;
    m.SetIndex(index.get());
    ColumnSwitches cols;
    cols.ShowDate = true;
    m.SetColumns(cols);
    for (SortOrder order : {SortOrder::Remark, SortOrder::ContentFull}) {
      m.Build(order);
      for (int r = 0; r < m.rowCount(); ++r) {
        const std::string expected = ListLineText(*index, IndexPos(r), order, cols);
        QCOMPARE(m.LineText(ListLine(r)), expected);
        QCOMPARE(Text(m, r), QString::fromUtf8(SjisToUtf8(expected)));
        QCOMPARE(m.data(m.index(r), Qt::AccessibleTextRole).toString(), Text(m, r));
      }
    }
    QVERIFY(Text(m, 2).startsWith(QStringLiteral("┃┗4 96/03/01 ABC01234 poster            t4")));
    QCOMPARE(m.FindLine(RemarkNo(6)), ListLine(3));
    QCOMPARE(m.FindLine(RemarkNo(6), ListLine(4)), ListLine(-1));
    QCOMPARE(m.FindLine(RemarkNo(99)), ListLine(-1));
    m.Build(SortOrder::ContentFolded);
    QCOMPARE(m.FindLine(RemarkNo(7)), ListLine(1));
    QCOMPARE(m.FindLine(RemarkNo(6)), ListLine(-1));  // folded away
    QCOMPARE(m.PositionOf(ListLine(1)), IndexPos(6));
    QVERIFY(!m.ItemOf(ListLine(1))->Expanded);
    QCOMPARE(m.ItemOf(ListLine(3)), nullptr);
  }
};

QTEST_MAIN(TitleListModelTest)
#include "TitleListModelTest.moc"
