#include "core/ServerHosts.h"

#include <gtest/gtest.h>

namespace
{

TEST(ServerHostsTest, TheBuiltInHostsAreHttpsAndAnOverrideHoldsUntilCleared)
{
    for (auto get : { &GetWebHost, &GetCounterHost, &GetImageHost })
        EXPECT_TRUE(get().startsWith(QStringLiteral("https://"))) << get().toStdString();

    const QString builtIn = GetWebHost();
    SetWebHostOverride(QStringLiteral("http://127.0.0.1:8080//"));
    EXPECT_EQ(GetWebHost(), QStringLiteral("http://127.0.0.1:8080"));
    SetWebHostOverride(QString());
    EXPECT_EQ(GetWebHost(), builtIn);
}

} // namespace
