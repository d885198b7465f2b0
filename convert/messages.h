#pragma once

#include <string>

// Everything the program says to the user, and the file types it takes. The Windows build
// compiles narrow literals to code page 936, so these are the bytes the user sees.
namespace messages {

// Message boxes.
inline constexpr char kConverterMissing[] = "kindlegen.exe 不存在，请将该程序文件放到 Tools 目录下。";
inline constexpr char kNoOutput[] = "转换失败！未找到转换后的文件。";
inline std::string fileMissing(const std::string& path) { return "文件 " + path + " 不存在！"; }
inline std::string unsupportedType(const std::string& extension) { return "不支持的文件类型(" + extension + ")！"; }
inline std::string openFailed(const std::string& path) { return "打开文件 " + path + " 失败！"; }
inline std::string createFailed(const std::string& path) { return "创建文件 " + path + " 失败！"; }
inline std::string pageFailed(const std::string& path) { return "转换 " + path + " 到网页文件时出现错误！"; }
inline std::string deletePageFailed(const std::string& path) { return "删除临时文件 " + path + " 失败！"; }
inline std::string deletePageFailedRestart(const std::string& path) {
    return "删除临时文件 " + path + " 失败！请手动删除后再执行本程序。";
}
inline std::string restoreFailed(const std::string& path, const std::string& asideName) {
    return "恢复文件 " + path + " 失败！原文件已改名为 " + asideName + "。";
}
inline std::string deleteTargetFailedRestart(const std::string& path) {
    return "删除目标文件 " + path + " 失败！请手动删除后再执行本程序。";
}
inline std::string deleteTargetFailedConvertAgain(const std::string& path) {
    return "删除目标文件 " + path + " 失败！请手动删除该文件后再转换一次。";
}

// Lines of the progress list.
inline constexpr char kSucceeded[] = "转换成功！";
inline constexpr char kFailed[] = "转换失败！";
inline std::string converting(const std::string& path) { return "正在转换 " + path; }

}  // namespace messages

// What the program does with a file, by extension (compared as is, so "TXT" is not taken).
enum class SourceKind {
    NotAccepted,
    // Passes the drop check, then the conversion refuses it: the program has always done so.
    AcceptedNotConvertible,
    Text,    // wrapped into an HTML page first
    Direct,  // handed to the converter as it is
};

inline SourceKind sourceKind(const std::string& extension) {
    struct SourceType {
        const char* extension;
        SourceKind kind;
    };
    static constexpr SourceType kTypes[] = {{"txt", SourceKind::Text},
                                            {"opf", SourceKind::AcceptedNotConvertible},
                                            {"htm", SourceKind::Direct},
                                            {"html", SourceKind::Direct},
                                            {"epub", SourceKind::Direct}};
    for (const SourceType& type : kTypes) {
        if (extension == type.extension) return type.kind;
    }
    return SourceKind::NotAccepted;
}
