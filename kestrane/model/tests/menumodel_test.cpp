#include <gtest/gtest.h>

#include <QSet>

#include "kestrane/gconfig.h"

namespace {

QStringList entry(std::initializer_list<const char*> parts) {
    QStringList out;
    for (const char* p : parts) out.append(QString::fromUtf8(p));
    return out;
}

// Every entry of every list, with the key of its list.
QList<std::pair<QString, QStringList>> allEntries(const GConfig& c) {
    QList<std::pair<QString, QStringList>> out;
    QStringList keys;
    for (const QStringList& top : c.topMenus()) keys.append(top.value(0));
    for (int i = 0; i < keys.size(); ++i) {
        for (const QStringList& e : c.menuItems(keys[i])) {
            out.append({keys[i], e});
            if (e.value(0) == QLatin1String("menu") && !keys.contains(e.value(1))) keys.append(e.value(1));
        }
    }
    return out;
}

}  // namespace

TEST(MenuModel, TopMenusInMenuBarOrder) {
    const QList<QStringList> top = GConfig::instance().topMenus();
    const QList<QStringList> expected{
        entry({"file", "文件(&F)"}), entry({"edit", "编辑(&E)"}),      entry({"device", "设备(&D)"}),
        entry({"media", "媒体(&M)"}), entry({"view", "视图(&V)"}),      entry({"time_axis", "时间轴(&T)"}),
        entry({"window", "窗口(&W)"}), entry({"help", "帮助(&H)"}),
    };
    EXPECT_EQ(top, expected);
}

TEST(MenuModel, FileMenuAndUnknownKeys) {
    const GConfig& c = GConfig::instance();
    const QList<QStringList> file = c.menuItems(QStringLiteral("file"));
    ASSERT_EQ(file.size(), 11);
    EXPECT_EQ(std::count(file.begin(), file.end(), QStringList{QStringLiteral("separator")}), 3);
    EXPECT_EQ(file[0], entry({"action", "new", "新建(&N)", "Ctrl+N"}));
    EXPECT_EQ(file[2], entry({"menu", "last_items", "打开最近项目"}));
    EXPECT_EQ(file[6], entry({"action", "save_as", "另存为...", "Shift+Ctrl+S"}));
    EXPECT_EQ(file[10], entry({"action", "quit", "退出(&X)"}));
    // The recent projects come from the settings, not from the model.
    EXPECT_TRUE(c.menuItems(QStringLiteral("last_items")).isEmpty());
    EXPECT_TRUE(c.menuItems(QStringLiteral("no_such_menu")).isEmpty());
    EXPECT_TRUE(c.toolIcons(QStringLiteral("no_such_tool")).isEmpty());
}

TEST(MenuModel, EntriesKeepTheirTextsAsTheyStand) {
    const GConfig& c = GConfig::instance();
    struct Case {
        const char* key;
        int index;
        QStringList entry;
    };
    const Case cases[] = {
        {"edit", 4, entry({"action", "del", "删除", "Delete"})},
        {"edit", 9, entry({"action", "magnet", "启用/取消自动吸附", "Ctrl+M"})},
        {"device", 2, entry({"checkable", "realtime_update", "实时更新"})},
        {"media", 8, entry({"action", "add_media_group", "添加媒休分组"})},  // sic
        {"media", 4, entry({"action", "add_dmx512", "添加DMX512记录"})},
        {"media", 11, entry({"checkable", "show_list", "列表显示", "on"})},
        {"view", 2, entry({"checkable", "image_quality", "质量最佳", "on"})},
        {"add_device", 0, entry({"action", "add_device_vga", "VGA  (640x480)"})},
        {"add_device", 8, entry({"action", "add_device_hd", "HD   (1920x1080)"})},
        {"add_device", 10, entry({"separator"})},
        {"add_device", 11, entry({"action", "add_device_diy", "自定义"})},
        {"stage_resize", 0, entry({"action", "stage_resize12_5", "12.5%"})},
        {"time_axis", 9, entry({"menu", "time_axis_resize", "时间轴缩放"})},
        {"play_control_speed", 0, entry({"checkable", "play_control_speed_1", "正常", "on"})},
        {"play_control_speed", 1, entry({"checkable", "play_control_speed_1.5", "1.5X"})},
        {"window", 10, entry({"checkable", "toolbox_show", "工具栏", "on"})},
        {"window", 11, entry({"action", "resume_default", "复位基本功能"})},
        {"help_operation", 1, entry({"action", "help_operation", "软件快捷键"})},
    };
    for (const Case& k : cases)
        EXPECT_EQ(c.menuItems(QString::fromUtf8(k.key)).value(k.index), k.entry) << k.key << " " << k.index;

    // The device presets are the resolution presets, blanks included.
    const QStringList presets = c.resolutionPresets();
    const QList<QStringList> add = c.menuItems(QStringLiteral("add_device"));
    for (int i = 0; i < 10; ++i) EXPECT_EQ(add.value(i).value(2), presets.value(i + 1)) << i;
    EXPECT_EQ(add.value(11).value(2), presets.value(11));
}

TEST(MenuModel, CheckedAtStartOnlyWhereMarked) {
    QStringList checkedNames;
    QStringList uncheckedNames;
    for (const auto& [key, e] : allEntries(GConfig::instance())) {
        if (e.value(0) != QLatin1String("checkable")) continue;
        (e.value(3) == QLatin1String("on") ? checkedNames : uncheckedNames).append(e.value(1));
    }
    checkedNames.sort();
    uncheckedNames.sort();
    EXPECT_EQ(checkedNames, (QStringList{QStringLiteral("image_quality"), QStringLiteral("play_control_speed_1"),
                                         QStringLiteral("show_list"), QStringLiteral("toolbox_show")}));
    EXPECT_EQ(uncheckedNames, (QStringList{QStringLiteral("play_control_speed_1.5"),
                                           QStringLiteral("play_control_speed_2"), QStringLiteral("realtime_update"),
                                           QStringLiteral("show_icons")}));
}

TEST(MenuModel, TheFortyOneDisabledNamesEachNameAnEntry) {
    const GConfig& c = GConfig::instance();
    const QStringList expected = QStringLiteral(
        "copy paste cancel resume select_all deselect_all add_device_group manage_computer add_txt add_live_video "
        "add_pc_screen add_dmx512 add_media_replace add_assist_time_axis show_list show_icons image_quality "
        "all_group current_group named_group no_condition all_condition start_condition stage_view stage_pop "
        "stage_show time_axis_show effect_show resume_default help_operation help_law help_version help_update "
        "help_news help_online time_axis_setting add_media_group add_media_effect adjust_size toolbox_show "
        "control_submenu_task").split(QLatin1Char(' '));
    ASSERT_EQ(expected.size(), 41);
    EXPECT_EQ(c.disabledActions(), expected);

    // A misspelt name would leave its entry enabled: each must name an entry.
    QSet<QString> names;
    int stageViews = 0;
    for (const auto& [key, e] : allEntries(c)) {
        if (e.value(0) == QLatin1String("action") || e.value(0) == QLatin1String("checkable")) names.insert(e.value(1));
        if (e.value(1) == QLatin1String("stage_view") && e.value(0) == QLatin1String("action")) ++stageViews;
    }
    for (const QString& n : expected) EXPECT_TRUE(names.contains(n)) << n.toStdString();
    // All six views share the one disabled name, whatever their text.
    EXPECT_EQ(stageViews, 6);
}

TEST(MenuModel, EverySubMenuHasItsListAndTheToolIconsTheirPairs) {
    GConfig& c = GConfig::instance();
    for (const auto& [key, e] : allEntries(c)) {
        if (e.value(0) != QLatin1String("menu") || e.value(1) == QLatin1String("last_items")) continue;
        EXPECT_FALSE(c.menuItems(e.value(1)).isEmpty()) << e.value(1).toStdString();
    }
    EXPECT_EQ(c.toolIcons(QStringLiteral("magnet")),
              (QStringList{QStringLiteral(":/images/menu/吸附_01.png"), QStringLiteral(":/images/menu/吸附_02.png")}));
    EXPECT_EQ(c.toolIcons(QStringLiteral("cancel")),
              (QStringList{QStringLiteral(":/images/menu/撤销_05.png"), QStringLiteral(":/images/menu/撤销_02.png")}));
    EXPECT_EQ(c.toolIcons(QStringLiteral("control_submenu")).value(0), QStringLiteral(":/images/menu/添加命令_01.png"));

    // Building again starts afresh rather than appending.
    const QList<QStringList> before = c.menuItems(QStringLiteral("edit"));
    c.buildTopMenus();
    c.buildMenuModel();
    EXPECT_EQ(c.menuItems(QStringLiteral("edit")), before);
    EXPECT_EQ(c.topMenus().size(), 8);
    EXPECT_EQ(c.disabledActions().size(), 41);
}
