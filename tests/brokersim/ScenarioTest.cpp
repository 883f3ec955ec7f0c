// Scenario files: what a bad one is told, what the generator makes, and that
// the shipped demo scenario holds what the demo shows.

#include "brokersim/Scenario.h"
#include "brokersim/Faults.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>

using namespace wdx::brokersim;

namespace {

std::string ErrorOf(const std::string& Text) {
    try {
        ParseScenario(Text, "t.json");
    } catch (const EScenarioError& e) {
        return e.what();
    }
    ADD_FAILURE() << "accepted: " << Text;
    return {};
}

} // namespace

TEST(Scenario, DefaultsOfAMinimalScenario) {
    TSimScenario s = ParseScenario(R"({"components":[{"name":"A"}]})", "t.json");
    ASSERT_EQ(s.Components.size(), 1u);
    EXPECT_EQ(s.Components[0].Stats.Maximum, 10);
    EXPECT_EQ(s.Components[0].Stats.Active, 0);
    EXPECT_TRUE(s.Components[0].Services.empty());
    EXPECT_EQ(s.Health.State, wdx::statshost::THealthState::Healthy);
    EXPECT_TRUE(s.Versions.empty());
}

TEST(Scenario, BadScenariosSayWhereAndWhy) {
    struct TCase {
        const char* Text;
        const char* Says;
    };
    const TCase cases[] = {
        {"", "not valid JSON"},
        {R"({"components":[{"name":"A",}]})", "not valid JSON: parse error at line 1"},
        {R"({"broker":"B"})", "components is missing"},
        {R"({"components":[{"name":"A","requests":1e400}]})", "not valid JSON: number overflow"},
        {R"({"components":[{"name":"A"},{"name":"A"}]})",
         "components[1].name repeats the component name \"A\""},
        {R"({"components":[{"name":""}]})", "components[0].name must not be empty"},
        {R"({"components":[{"name":"A","maximum":3,"active":4}]})",
         "active must not be above the maximum of 3"},
        {R"({"components":[{"name":"A","maximum":0}]})", "maximum must be an integer from 1 to 10000"},
        {R"({"components":[{"name":"A","requests":2147483648}]})",
         "components[0].requests must be an integer"},
        {R"({"components":[{"name":"A","maximun":3}]})", "components[0].maximun is not a known member"},
        {R"({"components":[{"name":"A","services":[{"name":"S"},{"name":"S"}]}]})",
         "repeats the service name"},
        {R"({"components":[{"name":"A","services":[{"name":"S","parameters":[{"name":"P","dataType":70000,"mode":1}]}]}]})",
         "components[0].services[0].parameters[0].dataType must be an integer from -32768 to 32767"},
        {R"({"components":[{"name":"A","services":[{"name":"S","parameters":[{"name":"P","dataType":1}]}]}]})",
         "parameters[0].mode is missing"},
        {R"({"health":{"state":"ill"},"components":[]})", "health.state must be"},
        {R"({"versions":{"wdxappserver":4},"components":[]})", "versions.wdxappserver must be a text"},
        {"[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]"
         "]]]]]]]]]]]]]]]]",
         "nest deeper than 32"},
    };
    for (const TCase& c : cases) {
        std::string e = ErrorOf(c.Text);
        EXPECT_EQ(e.rfind("Scenario t.json: ", 0), 0u) << e;
        EXPECT_NE(e.find(c.Says), std::string::npos) << "for " << c.Text << "\n got: " << e;
    }
}

TEST(Scenario, FilesThatCannotBeReadAreNamed) {
    try {
        LoadScenario("/nonexistent/dir/s.json");
        FAIL() << "no error";
    } catch (const EScenarioError& e) {
        EXPECT_NE(std::string(e.what()).find("/nonexistent/dir/s.json: cannot be read"), std::string::npos)
            << e.what();
    }
    EXPECT_THROW(LoadScenario("/"), EScenarioError); // a directory
}

TEST(Scenario, GeneratorMakesWhatWasAskedWithinLimits) {
    TSimScenario s = GenerateScenario(12, 4, 8, 5);
    ASSERT_EQ(s.Components.size(), 12u);
    std::set<int> types, modes;
    std::set<std::string> serviceNames;
    for (const auto& c : s.Components) {
        EXPECT_LE(c.Stats.Active, c.Stats.Maximum);
        ASSERT_EQ(c.Services.size(), 4u);
        for (const auto& v : c.Services) {
            EXPECT_TRUE(serviceNames.insert(v.Stats.Name).second) << v.Stats.Name;
            EXPECT_EQ(v.Params.size(), 8u);
            for (const auto& p : v.Params) {
                types.insert(p.DataType);
                modes.insert(p.Mode);
            }
        }
    }
    EXPECT_EQ(types, (std::set<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(modes, (std::set<int>{1, 2, 3, 5}));
    EXPECT_EQ(s.Components[11].Stats.Name, "Component000012");
    EXPECT_EQ(s.Versions.at("wdxappserver"), "4.2.1 (simulated)");

    EXPECT_THROW(GenerateScenario(0, 1, 1, 1), EScenarioError);
    EXPECT_THROW(GenerateScenario(MaxGeneratedComponents + 1, 1, 1, 1), EScenarioError);
    EXPECT_THROW(GenerateScenario(1, MaxGeneratedServices + 1, 1, 1), EScenarioError);
    EXPECT_THROW(GenerateScenario(1, 1, -1, 1), EScenarioError);
    // Each count within its limit, the whole far beyond memory.
    EXPECT_THROW(GenerateScenario(MaxGeneratedComponents, MaxGeneratedServices, MaxGeneratedParams, 1),
                 EScenarioError);
}

TEST(Scenario, DemoScenarioHoldsEveryTypeAndMode) {
    TSimScenario s = LoadScenario(WDX_SOURCE_DIR "/brokersim/scenarios/demo.json");
    EXPECT_GE(s.Components.size(), 24u);
    EXPECT_FALSE(s.Versions.at("wdxappserver").empty());
    std::set<int> types, modes;
    bool serviceWithoutParams = false, componentWithoutServices = false, maxAbove100 = false;
    for (const auto& c : s.Components) {
        componentWithoutServices = componentWithoutServices || c.Services.empty();
        maxAbove100 = maxAbove100 || c.Stats.Maximum > 100;
        for (const auto& v : c.Services) {
            serviceWithoutParams = serviceWithoutParams || v.Params.empty();
            for (const auto& p : v.Params) {
                types.insert(p.DataType);
                modes.insert(p.Mode);
            }
        }
    }
    EXPECT_EQ(types, (std::set<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(modes, (std::set<int>{1, 2, 3, 5}));
    EXPECT_TRUE(serviceWithoutParams);
    EXPECT_TRUE(componentWithoutServices);
    EXPECT_TRUE(maxAbove100);
}

TEST(FaultSpec, CommandLineFormsAndTheirMistakes) {
    TFault f = ParseFaultSpec("/v1/components=stall:2500");
    EXPECT_EQ(f.Kind, TFaultKind::Stall);
    EXPECT_EQ(f.Millis, 2500);
    f = ParseFaultSpec("/v1/components/*=error:503:Busy: try later");
    EXPECT_EQ(f.Path, "/v1/components/*");
    EXPECT_EQ(f.Status, 503);
    EXPECT_EQ(f.Text, "Busy: try later");
    EXPECT_EQ(ParseFaultSpec("*=trickle").Millis, 1000);
    EXPECT_EQ(ParseFaultSpec("/v1/health=error").Text, "Simulated failure.");
    EXPECT_EQ(ParseFaultSpec("/v1/health=oversize:100").Bytes, 100u);

    for (const char* bad : {"/v1/health", "/v1/health=explode", "v1/health=refuse", "/v1/health=stall:0",
                            "/v1/health=stall:abc", "/v1/health=error:200", "/v1/health=refuse:5",
                            "/v1/health=body:200:x", "/v1/health=stall:600001"})
        EXPECT_THROW(ParseFaultSpec(bad), EFaultSpec) << bad;
}

TEST(FaultSpec, TableMatchesPrefixesAndCountsHits) {
    TFaultTable table;
    TFault once = ParseFaultSpec("/v1/components/*=malformed");
    once.Count = 2;
    table.Add(once);
    EXPECT_FALSE(table.Take("/v1/components").has_value());
    EXPECT_TRUE(table.Take("/v1/components/A").has_value());
    EXPECT_TRUE(table.Take("/v1/components/B/services").has_value());
    EXPECT_FALSE(table.Take("/v1/components/A").has_value());
    table.Add(ParseFaultSpec("/v1/health=refuse"));
    table.Add(ParseFaultSpec("/v1/health=stall:5"));
    ASSERT_EQ(table.List().size(), 1u);
    EXPECT_EQ(table.Take("/v1/health")->Kind, TFaultKind::Stall);
    EXPECT_TRUE(table.Take("/v1/health").has_value()); // until cleared
    table.Clear();
    EXPECT_FALSE(table.Take("/v1/health").has_value());
}
