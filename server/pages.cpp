#include "server/pages.h"

#include "server/text_util.h"

namespace lzf::server {

namespace {
constexpr char kHomeMeta[] = "<meta charset=\"gbk\">";
}

std::string HomePage(const std::vector<FontEntry>& fonts, const HomePageOptions& options) {
    std::string page;
    page.reserve(4096 + fonts.size() * 48);
    page += "<!DOCTYPE html>\n<html>\n<head>\n";
    page += kHomeMeta;
    page +=
        "\n<title>字体在线预览 - 本地字体目录</title>\n"
        "</head>\n<body>\n<div class=\"container\">\n<h1>字体在线预览</h1>\n"
        "<form action=\"/\" method=\"post\" id=\"previewForm\">\n"
        "<table class=\"form-table\">\n<tr>\n<td class=\"label\">字体：</td>\n"
        "<td class=\"control-group\"><select name=\"FontInfoId\" id=\"FontInfoId\">\n";
    page += options.no_digit_options ? "<option value=\"none\">请选择字体</option>\n"
                                     : "<option value=\"0\">请选择字体</option>\n";
    int group = 0;
    for (size_t i = 0; i < fonts.size(); ++i) {
        const FontEntry& f = fonts[i];
        if (options.mixed_options && i % 3 == 0) {
            ++group;
            page += "<option value=\"group-" + std::to_string(group) + "\">—— 第" +
                    std::to_string(group) + "组 ——</option>\n";
        }
        std::string value =
            options.no_digit_options ? "font-" + std::to_string(f.id) : std::to_string(f.id);
        page += "<option value=\"" + value + "\">" +
                (f.name_is_html ? f.name : HtmlEscape(f.name)) + "</option>\n";
    }
    page +=
        "</select></td>\n</tr>\n"
        "<tr>\n<td class=\"label\">字体颜色：</td>\n"
        "<td class=\"field\"><input type=\"text\" name=\"FontColor\" value=\"#000000\" /></td>\n"
        "</tr>\n"
        "<tr>\n<td class=\"label\">字体大小：</td>\n"
        "<td class=\"field\"><input type=\"text\" name=\"FontSize\" value=\"50\" /></td>\n</tr>\n"
        "<tr>\n<td class=\"label\">图片宽度：</td>\n"
        "<td class=\"field\"><input type=\"text\" name=\"ImageWidth\" value=\"600\" /></td>\n"
        "</tr>\n"
        "<tr>\n<td class=\"label\">图片高度：</td>\n"
        "<td class=\"field\"><input type=\"text\" name=\"ImageHeight\" value=\"200\" /></td>\n"
        "</tr>\n"
        "<tr>\n<td class=\"label\">背景颜色：</td>\n"
        "<td class=\"field\"><input type=\"text\" name=\"ImageBgColor\" value=\"#FFFFFF\" />"
        "</td>\n</tr>\n"
        "<tr>\n<td class=\"label\">预览内容：</td>\n"
        "<td class=\"field\"><textarea name=\"Content\">请输入内容</textarea></td>\n</tr>\n"
        "<tr>\n<td class=\"label\"></td>\n"
        "<td class=\"field\"><input type=\"hidden\" name=\"ActionCategory\" value=\"1\" />"
        "<input type=\"submit\" value=\"生成预览\" /></td>\n</tr>\n"
        "</table>\n</form>\n</div>\n</body>\n</html>\n";
    return page;
}

std::string PreviewPage(const std::string& image_url, const std::string& font_name_html) {
    return "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"gbk\">\n"
           "<title>字体预览结果</title>\n</head>\n<body>\n<div class=\"container\">\n"
           "<h2>" +
           font_name_html + "</h2>\n<div class=\"preview\">\n<a class=\"save\" href=\"" +
           HtmlEscape(image_url) + "\" download>保存图片</a>\n<div class=\"image\"><img src=\"" +
           image_url +
           "\" /></div>\n<div class=\"bdsharebuttonbox\">百度分享</div>\n</div>\n</div>\n"
           "</body>\n</html>\n";
}

SkinAnnouncement DefaultSkinAnnouncement() {
    SkinAnnouncement a;
    a.items = {
        "修正了窗口最大化后阴影残留的问题",
        "修正了高分屏下标题栏按钮错位的问题",
        "新增三套皮肤配色",
        "优化了皮肤加载速度",
        "修正了列表框滚动条闪烁的问题",
        "修正了编辑框选中文字颜色不正确的问题",
        "新增按钮按下时的过渡效果",
        "优化了内存占用",
        "修正了多显示器下窗口位置计算错误的问题",
        "其他细节改进",
    };
    return a;
}

std::string SkinUpdatePage(const SkinAnnouncement& a, const std::string& default_address) {
    std::string page =
        "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n"
        "<title>青岚皮肤模块更新公告</title>\n</head>\n<body>\n<article class=\"post\">\n"
        "<h1 class=\"post-title\">青岚皮肤模块更新公告</h1>\n<div class=\"post-body\">\n";
    page += "<p>皮肤模块版本：" + a.version + "</p>\n";
    page += "<p>更新时间：" + a.time + "</p>\n";
    page += "<p>更新大小：" + a.size + "</p>\n";
    page += "<p>更新内容：</p>\n";
    for (size_t i = 0; i < a.items.size() && i < 10; ++i)
        page += "<p>" + std::to_string(i + 1) + "、" + a.items[i] + "</p>\n";
    page += "<p>下载地址：" + (a.address.empty() ? default_address : a.address) + "</p>\n";
    page += "</div>\n</article>\n</body>\n</html>\n";
    return page;
}

std::string DeclareCharset(const std::string& page, const std::string& charset, int offset) {
    std::string out = page;
    size_t old = out.find(kHomeMeta);
    if (old != std::string::npos)
        out.erase(old, sizeof kHomeMeta - 1);
    const std::string meta = "<meta charset=\"" + charset + "\">";
    size_t head = out.find("<head>");
    size_t at = head == std::string::npos ? 0 : head + 6;
    if (offset < 0 || static_cast<size_t>(offset) <= at) {
        out.insert(at, meta);
        return out;
    }
    // <!--xxxx--> fills the gap so that the declaration starts exactly at `offset`.
    size_t gap = static_cast<size_t>(offset) - at;
    std::string filler;
    if (gap >= 7)
        filler = "<!--" + std::string(gap - 7, 'x') + "-->";
    else
        filler = std::string(gap, '\n');
    out.insert(at, filler + meta);
    return out;
}

}  // namespace lzf::server
