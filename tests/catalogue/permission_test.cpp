#include <gtest/gtest.h>

#include "catalogue/scrape.h"

namespace {

TEST(DescriptionAllowsDownload, OnlyExactTrue) {
    struct Case {
        Text answer;
        bool allowed;
    } cases[] = {
        {"{\"canDownload\":true}", true},
        {"%7B%22canDownload%22%3Atrue%2C%22name%22%3A%22%E6%B3%BC%E5%A2%A8%22%7D", true},
        {"{\"name\":\"50%\",\r\n\"canDownload\":true}", true},
        {"{\"canDownload\":false}", false},
        {"{\"canDownload\":\"True\"}", false},
        {"{\"canDownload\":1}", false},
        {"{\"other\":true}", false},
        {"not json", false},
        {"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DescriptionAllowsDownload(c.answer), c.allowed) << c.answer;
}

}  // namespace
