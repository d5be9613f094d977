// The service program's texts with their arguments: "%0:s" stands for the first
// argument, "%1:s" for the second.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

std::string FillArguments(std::string_view format,
                          std::initializer_list<std::string_view> arguments);
