#pragma once

#include <winsock2.h>

#include <string>
#include <string_view>

namespace stand_in {

struct Request {
    // False when the client closed or went quiet before the request was whole.
    bool complete = false;
    // Set when the bytes arrived but do not form a request we can answer.
    std::string error;
    std::string method;
    std::string target;
    std::string body;
    std::string raw;
};

Request read_request(SOCKET client);

void answer_and_close(SOCKET client, std::string_view status, std::string_view content_type,
                      std::string_view body);

std::string_view dashboard_page();

}  // namespace stand_in
