// The Japanese texts of the listener's errors; "%1" stands for the port.
#include "platform/ListenErrorText.h"

#include <cerrno>
#include <string_view>
#include <system_error>

namespace platform {

namespace {

std::string_view JapaneseText(int error) {
    switch (error) {
        case EADDRINUSE:
            return "ポート %1 はほかのプログラムが使っています";
        case EACCES:
            return "ポート %1 を使う権限がありません";
        case EADDRNOTAVAIL:
            return "待ち受けるアドレスがこのコンピューターにありません";
        default:
            return "ポート %1 で待ち受けることができません";
    }
}

}  // namespace

std::string ListenErrorText(int error, uint16_t port) {
    std::string text(JapaneseText(error));
    if (const std::size_t at = text.find("%1"); at != std::string::npos)
        text.replace(at, 2, std::to_string(port));
    if (error == EACCES && port < 1024)
        text += "。1024 未満のポートには特権が要ります";
    return text + " (" + std::system_category().message(error) + ")";
}

std::string PortOutOfRangeText(int32_t port) {
    return "'" + std::to_string(port) + "' はポート番号ではありません ( 0 ～ 65535 )";
}

}  // namespace platform
