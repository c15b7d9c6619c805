// The title list model: Qt's model checker over every change of the
// session's lines (load, unfold, fold, column toggle, another order), and the
// line texts as the session makes them.
#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

#include "core/LogFixture.h"
#include "log/Logunit1.h"
#include "log/NativeCopy.h"
#include "platform/Codec.h"
#include "session/LogSession.h"
#include "ui/TitleListModel.h"

using namespace kest;
using namespace kest::test;

namespace {

// (1), (2 -> 1), (3 -> 1), (4 -> 2), (5 -> 1), (6 -> 4), (7), (8 -> 9)
std::filesystem::path ThreadLog(const TempDir& dir) {
  std::string s = "title\r\n\r\n";
  const std::pair<int, int> remarks[] = {{1, 0}, {2, 1}, {3, 1}, {4, 2}, {5, 1}, {6, 4}, {7, 0}, {8, 9}};
  for (auto [n, to] : remarks) {
    std::string title = "t";
    title.push_back(static_cast<char>('0' + n));  // n < 10
    s += Remark(Header5(n, "ABC01234", "poster", title), Line2("96/03/01", to));
  }
  return dir.Write("a.log", s);
}

void Load(LogSession& s, const std::filesystem::path& log) { s.Load(log.string(), OpenNativeLog(log)); }

QString Text(const TitleListModel& m, int row) { return m.data(m.index(row)).toString(); }

QStringList Numbers(const LogSession& s) {
  QStringList l;
  for (int r = 0; r < s.LineCount(); ++r)
    l << QString::number(s.Log()->GetNumber(s.PositionOf(ListLine(r))).v);
  return l;
}

bool Toggle(LogSession& s, int line) {
  s.Select(ListLine(line));
  return s.ToggleFold();
}

}  // namespace

class TitleListModelTest : public QObject {
  Q_OBJECT

 private slots:
  // The model follows every change of the session's lines: a load, unfolding
  // and folding, a column toggle, another order, letting the log go.
  void checkerOverEveryChange() {
    TempDir dir;
    LogSession s;
    TitleListModel m(s);
    QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(m.rowCount(), 0);
    Load(s, ThreadLog(dir));
    QCOMPARE(m.rowCount(), 3);
    QCOMPARE(Numbers(s), QStringList({"1", "7", "8"}));
    QSignalSpy inserted(&m, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&m, &QAbstractItemModel::rowsRemoved);
    QSignalSpy changed(&m, &QAbstractItemModel::dataChanged);

    QVERIFY(Toggle(s, 0));  // 1: replies 2, 3, 5
    QCOMPARE(m.rowCount(), 6);
    QCOMPARE(inserted.size(), 1);
    QCOMPARE(inserted[0][1].toInt(), 1);
    QCOMPARE(inserted[0][2].toInt(), 3);
    QVERIFY(!changed.isEmpty());  // line 0 shows "-" now
    QVERIFY(Text(m, 0).startsWith(QStringLiteral(" -1 ")));

    QVERIFY(Toggle(s, 1));  // 2: reply 4
    QVERIFY(Toggle(s, 2));  // 4: reply 6
    QCOMPARE(Numbers(s), QStringList({"1", "2", "4", "6", "3", "5", "7", "8"}));
    QVERIFY(Text(m, 3).startsWith(QStringLiteral(" ┃  ┗  6 ")));

    changed.clear();
    s.ToggleColumn(Command::ShowDate);
    s.ToggleColumn(Command::ShowNumber);
    QCOMPARE(changed.size(), 2);
    QCOMPARE(changed[0][0].toModelIndex().row(), 0);
    QCOMPARE(changed[0][1].toModelIndex().row(), m.rowCount() - 1);
    QCOMPARE(m.rowCount(), 8);  // the fold state stays
    QVERIFY(Text(m, 0).startsWith(QStringLiteral(" -96/03/01 ABC01234 poster")));

    QVERIFY(Toggle(s, 0));  // fold everything below 1
    QCOMPARE(m.rowCount(), 3);
    QCOMPARE(removed.size(), 1);
    QCOMPARE(removed[0][1].toInt(), 1);
    QCOMPARE(removed[0][2].toInt(), 5);
    QVERIFY(Text(m, 0).startsWith(QStringLiteral(" +96/03/01")));

    s.SetOrder(SortOrder::Remark);
    QCOMPARE(m.rowCount(), 8);
    s.SetOrder(static_cast<SortOrder>(7));  // an order that does not exist: no lines
    QCOMPARE(m.rowCount(), 0);
    s.SetOrder(SortOrder::ContentFolded);
    s.Release();
    QCOMPARE(m.rowCount(), 0);
    QVERIFY(!m.data(m.index(0)).isValid());
  }

  // Every line's text is the session's line text, converted for display and
  // the same for a screen reader.
  void lineTextsFollowTheSession() {
    TempDir dir;
    LogSession s;
    TitleListModel m(s);
    Load(s, ThreadLog(dir));
    s.ToggleColumn(Command::ShowDate);
    for (SortOrder order : {SortOrder::Remark, SortOrder::ContentFull, SortOrder::ContentFolded}) {
      s.SetOrder(order);
      for (int r = 0; r < m.rowCount(); ++r) {
        QCOMPARE(Text(m, r), QString::fromUtf8(SjisToUtf8(s.LineText(ListLine(r)))));
        QCOMPARE(m.data(m.index(r), Qt::AccessibleTextRole).toString(), Text(m, r));
      }
    }
    s.SetOrder(SortOrder::ContentFull);
    QVERIFY(Text(m, 2).startsWith(QStringLiteral("┃┗4 96/03/01 ABC01234 poster            t4")));
  }
};

QTEST_MAIN(TitleListModelTest)
#include "TitleListModelTest.moc"
