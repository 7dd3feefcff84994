#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include "core/health/check_report.h"
#include "gui/jobs/data_check_dialog.h"
#include "support/scratch_chart.h"

using namespace quarlink;

namespace {
// Each row's code and mark.
std::string rows(const QTreeWidget* table) {
    QStringList out;
    for (int i = 0; i < table->topLevelItemCount(); ++i) out << table->topLevelItem(i)->text(0) + " " + table->topLevelItem(i)->text(3);
    return out.join(QStringLiteral(" / ")).toStdString();
}
// Says Yes to 修復, noting the rows in view as it is asked.
struct NotingPrompter final : Prompter {
    QTreeWidget* table = nullptr;
    std::string rowsWhenAsked;
    void message(const std::string&) override {}
    Answer askYesNoCancel(const std::string&) override { return Answer::Cancel; }
    bool askYesNo(const std::string&) override { return rowsWhenAsked = rows(table), true; }
};
TEST(DataCheckDialogTest, FindingsStayInViewWhileRepairAsksEachMarked) {
    test::ScratchChart s;
    s.writeIndex("date=20060105\r\n0101,N,T1,1\r\n1301,N,T1,100\r\n1332,N,T1,100\r\n");
    s.writePrices(101, {{20060104, 1, 2, 1, 2, 5, 6, 7}, {20060105, 1, 2, 1, 2, 5, 6, 7}});
    s.writePrices(1301, {{20060105, 1, 2, 1, 2, 5, 6, 7}, {20060104, 1, 2, 1, 2, 5, 6, 7}});  // out of order
    s.writePrices(1332, {{20060104, 5, 2, 1, 2, 5, 6, 7}, {20060105, 1, 2, 1, 2, 5, 6, 7}});  // open above high
    NotingPrompter prompter;
    DataCheckDialog dialog(s.app, nullptr, &prompter);
    prompter.table = dialog.findChild<QTreeWidget*>(QStringLiteral("findings"));
    auto* repair = dialog.findChild<QPushButton*>(QStringLiteral("repairButton"));
    dialog.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return repair->isEnabled(); }, 20000));
    QTest::mouseClick(repair, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog.jobBusy(); }, 20000));
    EXPECT_EQ(prompter.rowsWhenAsked, std::string("1301 ") + check_text::kFixable + " / 1332 " + check_text::kNotFixable);
    EXPECT_EQ(rows(prompter.table), std::string("1301 ") + check_text::kFixed + " / 1332 " + check_text::kNotFixable);
}

}  // namespace
