// The statistics client with TLS and tokens, the same on both transports
// (TestBroker.h): a definition's TLS is never given up for plain HTTP.

#include "TestBroker.h"
#include "statshost/StatsClient.h"

#include <gtest/gtest.h>

using namespace wdx::statshost;
using wdx::testing::TTestSim;

TEST(SecureClient, TlsDefinitionIsNeverAnsweredInPlainHttp) {
    TTestSim plain;
    TTransportSettings tls;
    tls.UseTls = true;
    TStatsClient client("127.0.0.1", plain.Port(), 3, tls);
    auto r = client.GetHealth();
    ASSERT_FALSE(r.Ok()) << "a broker without TLS answered a definition that uses it";
    EXPECT_EQ(r.Error().HttpStatus, 0) << r.Error().Text;
    EXPECT_FALSE(r.Error().Text.empty());
}
