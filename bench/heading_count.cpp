// Counts the chapter headings of texts, to measure the detector both ways. Given files (UTF-8
// or GBK), it prints each one's volumes and chapters, and with -v every heading; given none,
// it generates two books from public-domain chapter titles, knowing what each line should
// give, and prints the headings found against those present and the prose lines taken.
#include "mobigen/outline/chapters.h"
#include "mobigen/text/encoding.h"

#include <chrono>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

using namespace mobigen;

namespace {
// Lines of a text with the heading each should give ("" for prose).
using Sample = std::vector<std::pair<std::string, std::string>>;

struct Count {
    int present = 0, found = 0, wrong = 0;
};

Count countHeadings(const Sample& sample) {
    Count count;
    for (const auto& [line, heading] : sample) {
        const auto found = findHeading(line);
        const std::string text = found ? line.substr(found->begin, found->end - found->begin) : "";
        count.present += !heading.empty();
        count.found += found && text == heading;
        count.wrong += found && text != heading;
    }
    return count;
}

std::string chineseNumber(int n) {  // 1 to 999
    const char* digits[] = {u8"零", u8"一", u8"二", u8"三", u8"四", u8"五", u8"六", u8"七", u8"八", u8"九"};
    std::string out = n >= 100 ? std::string(digits[n / 100]) + u8"百" + (n % 100 && n % 100 < 10 ? u8"零" : "") : "";
    if (n % 100 >= 10) out += (n % 100 >= 20 || n >= 100 ? digits[n % 100 / 10] : "") + std::string(u8"十");
    return n % 10 ? out + digits[n % 10] : out;
}

// Public-domain chapter titles and first lines (三国演义, 西游记, 金瓶梅, 红楼梦, 水浒传), set down the
// ways download sites write them, among prose that names chapters.
Sample classic() {
    const std::pair<const char*, const char*> chapters[] = {
        {u8"宴桃园豪杰三结义　斩黄巾英雄首立功", u8"话说天下大势，分久必合，合久必分。"},
        {u8"灵根育孕源流出　心性修持大道生", u8"诗曰：混沌未分天地乱，茫茫渺渺无人见。"},
        {u8"西门庆热结十弟兄　武二郎冷遇亲哥嫂", u8"诗曰：豪华去后行人绝，箫筝不响歌喉咽。"},
        {u8"甄士隐梦幻识通灵　贾雨村风尘怀闺秀", u8"此开卷第一回也。作者自云：曾历过一番梦幻之后。"},
        {u8"贾夫人仙逝扬州城　冷子兴演说荣国府", u8"诗云：一局输赢料不真，香销茶尽尚逡巡。"},
        {u8"张天师祈禳瘟疫　洪太尉误走妖魔", u8"话说大宋仁宗天子在位，嘉祐三年三月三日五更三点。"},
        {u8"议温明董卓叱丁原　馈金珠李肃说吕布", u8"且说曹操当日对何进曰：宦官之祸，古今皆有。"},
        {u8"四海千山皆拱伏　九幽十类尽除名", u8"却说美猴王荣归故里，自斩了混世魔王。"}};
    const char* prefixes[] = {"", u8"正文 ", u8"《》目录 ", u8"　　", u8"《红楼梦》 ", "\t", u8"章节目录 "};
    Sample sample;
    for (int n = 1; n <= 120; ++n) {  // 8 titles, 7 prefixes and every third run in: all combinations
        const auto& [title, opening] = chapters[n % 8];
        const std::string heading = u8"第" + chineseNumber(n) + u8"回 " + title;
        const bool runIn = n % 3 == 0;
        sample.push_back({prefixes[n % 6] + heading + (runIn ? opening : ""), heading});
        if (!runIn) sample.push_back({u8"　　" + std::string(opening), ""});
        for (const char* prose : {u8"第四回中既将薛家母子在荣府内寄居等事略已表明，此回则暂不能写矣。",
                                  u8"第一次见面他就说，以后再也不来了……", u8"毕竟不知性命如何，且听下回分解。"})
            sample.push_back({prose, ""});
    }
    return sample;
}

// A web novel: 30 volumes of 100 chapters numbered on, a third behind a site prefix, some indented.
Sample webNovel() {
    Sample sample;
    for (int chapter = 1; chapter <= 3000; ++chapter) {
        if (chapter % 100 == 1) {
            const std::string volume = u8"第" + chineseNumber(chapter / 100 + 1) + u8"卷 风起云涌";
            sample.push_back({volume, volume});
        }
        const std::string heading =
            u8"第" + std::to_string(chapter) + (chapter % 7 ? u8"章 山雨欲来" : u8"章 风起，云涌");
        sample.push_back({(chapter % 3 ? chapter % 5 ? "" : u8"　　" : u8"正文 ") + heading, heading});
        for (const char* prose : {u8"　　“第三章写得不错。”他说。", u8"　　第二天一早，他就出了门，上部分已经讲过。",
                                  u8"　　第十章的时候，他们才第一次见面。"})
            sample.push_back({prose, ""});
    }
    return sample;
}

int countFile(const char* path, bool verbose) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::cerr << path << ": cannot be read\n";
        return 1;
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    Diagnostics diagnostics;
    const std::string text = decodeHtmlToUtf8(bytes.str(), diagnostics);
    int counts[2] = {0, 0};
    std::size_t lines = 0;
    const auto started = std::chrono::steady_clock::now();
    for (std::size_t start = 0; start < text.size(); ++lines) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view line = std::string_view(text).substr(start, end - start);
        start = end + 1;
        const auto found = findHeading(line);
        if (!found) continue;
        ++counts[found->level == HeadingLevel::Chapter];
        if (verbose)
            std::cout << (found->level == HeadingLevel::Chapter ? "  " : "")
                      << line.substr(found->begin, found->end - found->begin) << '\n';
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::cout << path << ": " << lines << " lines, " << counts[0] << " volumes, " << counts[1] << " chapters, "
              << seconds * 1e9 / static_cast<double>(lines ? lines : 1) << " ns a line\n";
    return 0;
}
}  // namespace

int main(int argc, char** argv) {
    const bool verbose = argc > 1 && std::strcmp(argv[1], "-v") == 0;
    if (argc == 1 + verbose) {
        for (const auto& [name, sample] : {std::pair{"classic", classic()}, std::pair{"web novel", webNovel()}}) {
            const Count count = countHeadings(sample);
            std::cout << name << ": " << count.found << " of " << count.present << " headings, " << count.wrong
                      << " lines wrongly taken\n";
        }
        return 0;
    }
    int failed = 0;
    for (int i = 1 + verbose; i < argc; ++i) failed |= countFile(argv[i], verbose);
    return failed;
}
