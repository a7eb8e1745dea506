#include "Shared/ClientConfiguration.hpp"
#include "Shared/ThemeType.hpp"

#include <gtest/gtest.h>

using namespace Orvella;

TEST(BrandTests, TheBrisantoConfigurationHasItsPagesAndNames)
{
    // The fixed paths, no registration page, 15 s, the folder name with a blank, and the world "4".
    BrisantoClientConfiguration brand;
    EXPECT_EQ(brand.forgotPasswordURL().scheme(), "https");
    EXPECT_EQ(brand.forgotPasswordURL().path(), "/service/brisanto/PasswortVergessen");
    EXPECT_EQ(brand.helpURL().path(), "/tarife-und-optionen/zusatzoptionen/brisanto-cloud-option/faq/");
    EXPECT_EQ(brand.contactURL().path(), "/kontakt/vertragskunden/uns-schreiben/");
    EXPECT_FALSE(brand.registrationURL());
    EXPECT_EQ(brand.imprintURL().path(), "/legal/impressum/");
    EXPECT_EQ(brand.dataProtectionURL().path(), "/legal/datenschutz/");
    EXPECT_EQ(brand.helpURL().host(), brand.imprintURL().host());
    EXPECT_EQ(brand.syncInterval(), 15.0);
    EXPECT_EQ(brand.defaultCloudFolderName(), "brisanto cloud");
    EXPECT_EQ(brand.clientName(), "brisanto cloud");
    EXPECT_EQ(brand.loginUserNameSuffix(), "@" + brand.emailAddressDomain());
    EXPECT_EQ(brand.emailAddressDomain().find('@'), std::string::npos);
    EXPECT_EQ(Quarlink::rawValue(brand.worldID()), "4");
}

TEST(BrandTests, TheOtherBrandsFillEveryFieldWithTheirOwnWorld)
{
    // Talvern and Ravik have their own worlds, names and hosts.
    TalvernClientConfiguration talvern;
    RavikClientConfiguration ravik;
    EXPECT_EQ(Quarlink::rawValue(talvern.worldID()), "2");
    EXPECT_EQ(Quarlink::rawValue(ravik.worldID()), "5");
    EXPECT_EQ(talvern.defaultCloudFolderName(), "talvern cloud");
    EXPECT_EQ(ravik.clientName(), "ravik cloud");
    EXPECT_NE(talvern.helpURL().host(), ravik.helpURL().host());
    EXPECT_TRUE(talvern.registrationURL());
}

TEST(BrandTests, TheDefaultCloudFolderIsADirectoryInTheHomeFolderWithItsBlank)
{
    // /Users/a gives the directory URL /Users/a/brisanto cloud/.
    BrisantoClientConfiguration brand;
    auto url = brand.defaultCloudFolderURL("/Users/a");
    EXPECT_TRUE(url.isFileURL());
    EXPECT_EQ(url.path(), "/Users/a/brisanto cloud/");
    EXPECT_TRUE(url.hasDirectoryPath());
}

TEST(BrandTests, ColoursComeFromTwentyFourBitIntegers)
{
    // 84BC34 is 132/255, 188/255, 52/255 with alpha 1; the Brisanto theme holds it and DE4C12.
    auto colour = Color::hex(0x84BC34);
    EXPECT_DOUBLE_EQ(colour.red, 132 / 255.0);
    EXPECT_DOUBLE_EQ(colour.green, 188 / 255.0);
    EXPECT_DOUBLE_EQ(colour.blue, 52 / 255.0);
    EXPECT_DOUBLE_EQ(colour.alpha, 1.0);
    EXPECT_DOUBLE_EQ(Color::hex(0xFFFFFF, 0.5).alpha, 0.5);
    BrisantoTheme theme;
    EXPECT_EQ(theme.loginLogoBackgroundColor(), colour);
    EXPECT_EQ(theme.loginErrorTextColor(), (Color { 222 / 255.0, 76 / 255.0, 18 / 255.0, 1.0 }));
}
