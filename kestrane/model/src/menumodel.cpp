// The console's menus as data: the main window builds its menu bar and tool
// box from these lists. Texts are shown as they stand.
#include "kestrane/gconfig.h"

namespace {

using Entries = QList<QStringList>;

QStringList action(const char* name, const char* text, const char* shortcut = nullptr) {
    QStringList e{QStringLiteral("action"), QString::fromUtf8(name), QString::fromUtf8(text)};
    if (shortcut) e.append(QString::fromUtf8(shortcut));
    return e;
}

QStringList checkable(const char* name, const char* text, bool on = false) {
    QStringList e{QStringLiteral("checkable"), QString::fromUtf8(name), QString::fromUtf8(text)};
    if (on) e.append(QStringLiteral("on"));
    return e;
}

QStringList submenu(const char* key, const char* text) {
    return {QStringLiteral("menu"), QString::fromUtf8(key), QString::fromUtf8(text)};
}

QStringList separator() { return {QStringLiteral("separator")}; }

}  // namespace

void GConfig::buildTopMenus() {
    static const char* const kTop[][2] = {
        {"file", "文件(&F)"},  {"edit", "编辑(&E)"},      {"device", "设备(&D)"}, {"media", "媒体(&M)"},
        {"view", "视图(&V)"},  {"time_axis", "时间轴(&T)"}, {"window", "窗口(&W)"}, {"help", "帮助(&H)"},
    };
    m_topMenus.clear();
    for (const auto& t : kTop) m_topMenus.append({QString::fromUtf8(t[0]), QString::fromUtf8(t[1])});
}

void GConfig::buildMenuModel() {
    m_menus.clear();
    m_menus[QStringLiteral("file")] = Entries{
        action("new", "新建(&N)", "Ctrl+N"),
        action("open", "打开(&O)", "Ctrl+O"),
        submenu("last_items", "打开最近项目"),
        separator(),
        action("close", "关闭", "Alt+X"),
        action("save", "保存(&S)", "Ctrl+S"),
        action("save_as", "另存为...", "Shift+Ctrl+S"),
        separator(),
        action("settings", "通用设置"),
        separator(),
        action("quit", "退出(&X)"),
    };
    m_menus[QStringLiteral("edit")] = Entries{
        action("copy", "复制", "Ctrl+C"),
        action("paste", "粘贴", "Ctrl+V"),
        action("cancel", "撤销", "Ctrl+Z"),
        action("resume", "取消撤销", "Ctrl+Y"),
        action("del", "删除", "Delete"),
        separator(),
        action("select_all", "全选", "Ctrl+A"),
        action("deselect_all", "取消全选", "Shift+Ctrl+A"),
        separator(),
        action("magnet", "启用/取消自动吸附", "Ctrl+M"),
    };
    m_menus[QStringLiteral("device")] = Entries{
        action("connect", "连接"),
        action("disconnect", "断开连接"),
        checkable("realtime_update", "实时更新"),
        action("update", "更新"),
        separator(),
        submenu("add_device", "添加设备"),
        action("add_device_group", "添加设备分组"),
        separator(),
        action("device_layout", "矩阵布局"),
        action("device_color", "色彩校正"),
        action("device_correction", "几何校正"),
        separator(),
        action("combination", "组合"),
        action("discombination", "取消组合"),
        separator(),
        action("manage_computer", "管理显示电脑"),
        action("attribute", "属性"),
    };
    // The presets' own texts, blanks included, in preset order.
    static const char* const kPresetActions[] = {"add_device_vga",  "add_device_svga", "add_device_xga",
                                                 "add_device_720p", "add_device_wxga", "add_device_qvga",
                                                 "add_device_sxga", "add_device_uxga", "add_device_hd",
                                                 "add_device_uhd"};
    Entries presets;
    for (int i = 0; i < 10; ++i)
        presets.append({QStringLiteral("action"), QString::fromUtf8(kPresetActions[i]), m_resolutionPresets.value(i + 1)});
    presets.append(separator());
    presets.append({QStringLiteral("action"), QStringLiteral("add_device_diy"), m_resolutionPresets.value(11)});
    m_menus[QStringLiteral("add_device")] = presets;
    m_menus[QStringLiteral("media")] = Entries{
        action("add_media", "添加媒体"),
        action("add_txt", "添加文字"),
        action("add_live_video", "添加现场视频"),
        action("add_pc_screen", "添加计算机屏幕"),
        action("add_dmx512", "添加DMX512记录"),
        action("add_media_replace", "添加媒体代表"),
        action("add_assist_time_axis", "添加辅助时间轴"),
        separator(),
        action("add_media_group", "添加媒休分组"),
        action("add_media_effect", "添加媒体特效"),
        separator(),
        checkable("show_list", "列表显示", true),
        checkable("show_icons", "图标显示"),
        separator(),
        action("adjust_size", "调整大小"),
        action("resume_default", "还原默认"),
    };
    m_menus[QStringLiteral("view")] = Entries{
        submenu("stage_view", "视图"),
        submenu("stage_resize", "缩放"),
        checkable("image_quality", "质量最佳", true),
        separator(),
        action("all_group", "所有分组"),
        action("current_group", "当前分组"),
        action("named_group", "指定分组"),
        separator(),
        action("no_condition", "没有条件"),
        action("all_condition", "所有条件"),
        action("start_condition", "启用分组"),
    };
    m_menus[QStringLiteral("stage_view")] = Entries{
        action("stage_view", "前视图"), action("stage_view", "后视图"), action("stage_view", "左视图"),
        action("stage_view", "右视图"), action("stage_view", "顶视图"), action("stage_view", "底视图"),
    };
    m_menus[QStringLiteral("stage_resize")] = Entries{
        action("stage_resize12_5", "12.5%"), action("stage_resize25", "25%"),   action("stage_resize50", "50%"),
        action("stage_resize75", "75%"),     action("stage_resize100", "100%"),
    };
    m_menus[QStringLiteral("time_axis")] = Entries{
        action("add_time_axis_layer", "添加时间轴图层"),
        action("del_time_axis_layer", "删除时间轴图层"),
        separator(),
        action("add_play_control", "添加播放控制"),
        action("add_pause_control", "添加暂停控制"),
        action("add_jump_control", "添加跳转控制"),
        separator(),
        action("time_axis_setting", "时间轴设置"),
        submenu("layer_sequence", "图层顺序"),
        submenu("time_axis_resize", "时间轴缩放"),
        submenu("play_control", "播放控制"),
    };
    m_menus[QStringLiteral("layer_sequence")] = Entries{
        action("layer_sequence_up", "上移"),
        action("layer_sequence_down", "下移"),
        action("layer_sequence_top", "置顶"),
        action("layer_sequence_bottom", "置底"),
    };
    m_menus[QStringLiteral("time_axis_resize")] = Entries{
        action("time_axis_resize_add", "放大"),
        action("time_axis_resize_reduce", "缩小"),
    };
    m_menus[QStringLiteral("play_control")] = Entries{
        action("play_control_back", "回到起始帧"),
        action("play_control_play", "播放/暂停"),
        action("play_control_plus", "快进"),
        action("play_control_reduce", "快退"),
        submenu("play_control_speed", "播放速度"),
    };
    m_menus[QStringLiteral("play_control_speed")] = Entries{
        checkable("play_control_speed_1", "正常", true),
        checkable("play_control_speed_1.5", "1.5X"),
        checkable("play_control_speed_2", "2.0X"),
    };
    m_menus[QStringLiteral("window")] = Entries{
        action("stage_pop", "舞台窗口浮出"),
        separator(),
        action("stage_show", "舞台"),
        action("time_axis_show", "图层和时间轴"),
        action("effect_show", "特效编辑"),
        separator(),
        submenu("material_submenu", "媒体"),
        submenu("device_submenu", "设备"),
        submenu("control_submenu", "控制"),
        separator(),
        checkable("toolbox_show", "工具栏", true),
        action("resume_default", "复位基本功能"),
    };
    m_menus[QStringLiteral("material_submenu")] = Entries{
        action("material_submenu_list", "媒体列表"),
        action("material_submenu_attr", "媒体属性"),
    };
    m_menus[QStringLiteral("device_submenu")] = Entries{
        action("device_submenu_list", "设备列表"),
        action("device_submenu_attr", "设备属性"),
    };
    m_menus[QStringLiteral("control_submenu")] = Entries{
        action("control_submenu_in", "输入控制"),
        action("control_submenu_out", "输出控制"),
        action("control_submenu_task", "任务管理"),
    };
    m_menus[QStringLiteral("help")] = Entries{
        submenu("help_operation", "操作说明"),
        action("open_welcome", "打开欢迎页面"),
        action("help_law", "法律声明"),
        action("help_version", "版本信息"),
        action("help_update", "检测更新"),
        action("help_news", "新增功能说明"),
        action("help_online", "在线支持"),
    };
    m_menus[QStringLiteral("help_operation")] = Entries{
        action("help_operation", "产品说明书"),
        action("help_operation", "软件快捷键"),
    };

    m_disabledActions = QStringList{
        QStringLiteral("copy"),           QStringLiteral("paste"),          QStringLiteral("cancel"),
        QStringLiteral("resume"),         QStringLiteral("select_all"),     QStringLiteral("deselect_all"),
        QStringLiteral("add_device_group"), QStringLiteral("manage_computer"), QStringLiteral("add_txt"),
        QStringLiteral("add_live_video"), QStringLiteral("add_pc_screen"),  QStringLiteral("add_dmx512"),
        QStringLiteral("add_media_replace"), QStringLiteral("add_assist_time_axis"), QStringLiteral("show_list"),
        QStringLiteral("show_icons"),     QStringLiteral("image_quality"),  QStringLiteral("all_group"),
        QStringLiteral("current_group"),  QStringLiteral("named_group"),    QStringLiteral("no_condition"),
        QStringLiteral("all_condition"),  QStringLiteral("start_condition"), QStringLiteral("stage_view"),
        QStringLiteral("stage_pop"),      QStringLiteral("stage_show"),     QStringLiteral("time_axis_show"),
        QStringLiteral("effect_show"),    QStringLiteral("resume_default"), QStringLiteral("help_operation"),
        QStringLiteral("help_law"),       QStringLiteral("help_version"),   QStringLiteral("help_update"),
        QStringLiteral("help_news"),      QStringLiteral("help_online"),    QStringLiteral("time_axis_setting"),
        QStringLiteral("add_media_group"), QStringLiteral("add_media_effect"), QStringLiteral("adjust_size"),
        QStringLiteral("toolbox_show"),   QStringLiteral("control_submenu_task"),
    };

    static const char* const kToolIcons[][3] = {
        {"connect", "连接_01.png", "连接_02.png"},
        {"disconnect", "断开连接_01.png", "断开连接_02.png"},
        {"add_device", "添加设备_01.png", "添加设备_02.png"},
        {"add_media", "添加媒体_01.png", "添加媒体_02.png"},
        {"control_submenu", "添加命令_01.png", "添加命令_02.png"},
        {"cancel", "撤销_05.png", "撤销_02.png"},
        {"resume", "取消撤销_05.png", "取消撤销_02.png"},
        {"magnet", "吸附_01.png", "吸附_02.png"},
    };
    const QString folder = QStringLiteral(":/images/menu/");
    m_toolIcons.clear();
    for (const auto& t : kToolIcons)
        m_toolIcons[QString::fromUtf8(t[0])] = QStringList{folder + QString::fromUtf8(t[1]), folder + QString::fromUtf8(t[2])};
}
