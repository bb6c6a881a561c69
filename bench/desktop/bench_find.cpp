// How long one keystroke of the desktop's type-to-search takes.
// Run on demand: build-dir/bench/bench_find [applications=2000]

#include "desktop/find/AppSearch.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, atoi(argv[1])) : 2000;

    // Names like the service's: Chinese words, some Latin ones, in 20 categories.
    const QStringList words{"速绘", "画板", "记账", "会议", "预约", "文档", "图片", "代码",
                            "仓库", "终端", "助手", "消息", "公告", "报表", "中心", "Office",
                            "Mail", "Chart", "配色", "手册"};
    DesktopAppCatalogue catalogue;
    for (int c = 0; c < 20; ++c) {
        auto category = DesktopAppCategoryPtr::create();
        category->id = QStringLiteral("c%1").arg(c);
        catalogue.append(qMakePair(category, DesktopAppList()));
    }
    for (int i = 0; i < count; ++i) {
        auto a = DesktopAppInfoPtr::create();
        a->id = QStringLiteral("a%1").arg(i);
        a->name = words[i % words.size()] + words[(i / 7) % words.size()] + QString::number(i);
        a->isremove = "1";
        catalogue[i % 20].second.append(a);
    }

    QElapsedTimer timer;
    timer.start();
    AppSearch search;
    search.rebuild(catalogue, nullptr);
    const double rebuildMs = timer.nsecsElapsed() / 1e6;

    // Every prefix of a few typed words, as keystrokes arrive.
    const QStringList typed{"shhb", "记账本", "office", "hy", "zd", "报表中心12", "x"};
    int keystrokes = 0;
    int found = 0;
    double worstMs = 0;
    timer.restart();
    for (int round = 0; round < 20; ++round) {
        for (const QString &word : typed) {
            for (int n = 1; n <= word.size(); ++n) {
                QElapsedTimer one;
                one.start();
                found += search.find(word.left(n)).size();
                worstMs = std::max(worstMs, one.nsecsElapsed() / 1e6);
                ++keystrokes;
            }
        }
    }
    const double totalMs = timer.nsecsElapsed() / 1e6;
    std::printf("type-to-search over %d applications\n", count);
    std::printf("  index rebuilt (names folded, initials):  %8.2f ms\n", rebuildMs);
    std::printf("  keystrokes: %d, mean %.3f ms, worst %.3f ms (goal: 16 ms), %d matches in all\n",
                keystrokes, totalMs / keystrokes, worstMs, found);
    return 0;
}
