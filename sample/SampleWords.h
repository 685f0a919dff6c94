#pragma once

// Invented word lists for the sample company. Lists are '|'-separated; a city may carry its
// state or province after ':'.

#include <array>
#include <string_view>

namespace sample::words {

enum class Lang { German, French, English, Nordic, Spanish, Portuguese, Italian, Slavic, Dutch, Japanese };

enum class StreetStyle { NameNumber, NumberName, NameCommaNumber, Block };

struct LangWords {
    std::string_view firstNames;
    std::string_view lastNames;
    std::string_view streets;
    StreetStyle streetStyle;
    // {L} last name, {M} another last name, {C} city, {S} the country's legal suffix
    std::string_view companyPatterns;
};

inline constexpr std::array<LangWords, 10> langs{{
    {"Anna|Lukas|Jürgen|Sabine|Maximilian|Katrin|Jörg|Ursula|Felix|Lena|Stefan|Björn|Monika|Tobias|Käthe|Uwe",
     "Müller|Schmidt|Schneider|Fischer|Weber|Meyer|Wagner|Becker|Schäfer|Köhler|Hoffmann|Groß|Krüger|Weiß|"
     "Zimmermann|Hübner",
     "Hauptstraße|Bahnhofstraße|Gartenweg|Lindenallee|Schillerstraße|Am Markt|Mühlenweg|Goethestraße",
     StreetStyle::NameNumber, "{L}{S}|{L} & {M}{S}|Haushaltswaren {L}|Küchenhaus {C}|Küchenbedarf {L}{S}"},
    {"Amélie|François|Hélène|Jérôme|Camille|Léa|Théo|Céline|Noël|Inès|Luc|Élodie|Mathis|Margaux",
     "Dubois|Lefèvre|Moreau|Girard|Fontaine|Bélanger|Rousseau|Lemaître|D'Arcy|Gagné|Mercier|Faure|Chevalier|"
     "L'Hôte",
     "rue de la Paix|avenue Victor Hugo|rue Émile Zola|boulevard Saint-Michel|place du Marché|rue des Écoles",
     StreetStyle::NumberName, "{L}{S}|Maison {L}|{L} & {M}|La Cuisine de {C}|Comptoir {L}{S}"},
    {"James|Olivia|Michael|Emma|Sarah|David|Chloe|Liam|Grace|Thomas|Siobhan|Aoife|Seán|Priya|Daniel|Hannah",
     "Smith|Johnson|O'Brien|O'Connor|Walsh|Taylor|Brown|Wilson|McCarthy|Murphy|Clarke|Patel|Nguyen|Thompson|"
     "D'Souza|O'Neill",
     "High Street|Church Road|Maple Avenue|King's Road|Station Road|Queen's Parade|Elm Street|Harbour View",
     StreetStyle::NumberName,
     "{L}{S}|{L} & {M}{S}|{L}'s Kitchen Supply|The {C} Cookshop|{C} Housewares{S}|{L} Brothers"},
    {"Åsa|Søren|Mikkel|Ingrid|Björn|Sigrún|Jónas|Kaisa|Mette|Anders|Maja|Eero|Hanne|Øystein|Linnéa|Ásgeir",
     "Ødegaard|Johansson|Nielsen|Hansen|Lindqvist|Åberg|Sørensen|Virtanen|Mäkinen|Jónsdóttir|Halvorsen|Strøm|"
     "Berg|Eriksson|Kristiansen|Þórsson",
     "Storgata|Drottninggatan|Østergade|Kungsgatan|Aleksanterinkatu|Laugavegur|Bryggen|Søndergade",
     StreetStyle::NameNumber, "{L}{S}|{L} & {M}{S}|{C} Hushåll{S}|Nordkök {L}"},
    {"José|María|Sofía|Martín|Lucía|Joaquín|Carmen|Alejandro|Inés|Diego|Pilar|Ángel",
     "García|Fernández|Núñez|Peña|Rodríguez|Muñoz|Ibáñez|López|Martínez|Sánchez|Gutiérrez|Domínguez",
     "Calle Mayor|Avenida de la Constitución|Calle del Sol|Paseo del Prado|Plaza España|Calle Real",
     StreetStyle::NameNumber, "{L}{S}|{L} y {M}{S}|Casa {L}|Cocinas de {C}{S}|Hogar {L}"},
    {"João|Inês|Gonçalo|Ana|Beatriz|Sebastião|Mariana|Tiago|Leonor|Luís|Conceição|Rafael",
     "Gonçalves|Conceição|Araújo|Simões|Magalhães|Ferreira|Sousa|Carvalho|Lourenço|Guimarães|Pereira|Brandão",
     "Rua Augusta|Avenida Paulista|Rua das Flores|Avenida da Liberdade|Rua do Comércio|Praça da República",
     StreetStyle::NameCommaNumber, "{L}{S}|{L} & {M}{S}|Casa {L}|Utilidades {C}|Cozinha {L}"},
    {"Giulia|Marco|Francesca|Niccolò|Chiara|Luca|Alessandro|Sofia|Matteo|Elena|Lorenzo|Federica",
     "Rossi|Bianchi|Esposito|Ricci|D'Angelo|Colombo|Mancini|Lombardi|De Luca|Romano|Greco|Fabbri",
     "Via Roma|Via Garibaldi|Corso Italia|Piazza del Duomo|Via Dante|Via Verdi", StreetStyle::NameCommaNumber,
     "{L}{S}|{L} & {M}{S}|Casa {L}|Cucina {C}|Bottega {L}"},
    {"Łukasz|Agnieszka|Paweł|Zofia|Jiří|Tereza|Tomáš|Kateřina|Michał|Małgorzata|Ondřej|Wojciech",
     "Nowak|Kowalski|Wiśniewska|Dvořák|Novotná|Zieliński|Wójcik|Černý|Svoboda|Kamińska|Procházka|Lewandowski",
     "ul. Długa|ul. Piękna|Národní|Vinohradská|ul. Marszałkowska|Karlova", StreetStyle::NameNumber,
     "{L}{S}|{L} & {M}{S}|Domus {L}|{C} Trade{S}"},
    {"Daan|Sanne|Joost|Femke|Bram|Anouk|Sem|Lotte|Ruud|Maartje",
     "de Vries|van den Berg|Jansen|Bakker|van Dijk|Visser|'t Hooft|Smit|de Jong|Mulder",
     "Kerkstraat|Dorpsstraat|Molenweg|Stationsplein|Prinsengracht|Keizersgracht", StreetStyle::NameNumber,
     "{L}{S}|{L} & {M}{S}|Huis {L}|Keukenhuis {C}"},
    {"Haruto|Yui|Sōta|Aoi|Ren|Sakura|Yūki|Hina|Kaito|Mio",
     "Satō|Suzuki|Takahashi|Tanaka|Itō|Watanabe|Yamamoto|Nakamura|Kobayashi|Katō",
     "Shibuya|Umeda|Gion|Minato Mirai|Ōdōri|Tenjin", StreetStyle::Block,
     "{L} Shōten{S}|{C} Kitchen{S}|{L} Trading{S}"},
}};

struct Country {
    std::string_view name;
    std::string_view code;
    int regionId;
    Lang lang;
    std::string_view phonePrefix;
    std::string_view postalPattern; // '#' digit, '@' capital letter; empty: no postal codes
    int weight;                     // share of customers
    std::string_view legalSuffixes; // each with its leading blank
    std::string_view cities;
};

inline constexpr std::array<Country, 26> countries{{
    {"Germany", "DE", 2, Lang::German, "+49", "#####", 14, " GmbH| GmbH & Co. KG| KG| AG| e.K.",
     "Berlin|Hamburg|München|Köln|Düsseldorf|Frankfurt am Main|Leipzig|Stuttgart"},
    {"Austria", "AT", 4, Lang::German, "+43", "####", 3, " GmbH| KG", "Wien|Graz|Linz|Salzburg|Innsbruck"},
    {"Switzerland", "CH", 2, Lang::German, "+41", "####", 3, " AG| GmbH", "Zürich|Basel|Bern|Luzern|St. Gallen"},
    {"France", "FR", 2, Lang::French, "+33", "#####", 9, " SARL| SAS| S.A.",
     "Paris|Lyon|Marseille|Toulouse|Nantes|Lille|Strasbourg"},
    {"Belgium", "BE", 2, Lang::French, "+32", "####", 3, " SPRL| S.A.", "Bruxelles|Liège|Namur|Charleroi"},
    {"Netherlands", "NL", 2, Lang::Dutch, "+31", "#### @@", 4, " B.V.",
     "Amsterdam|Rotterdam|Utrecht|Den Haag|Eindhoven|Groningen"},
    {"United Kingdom", "GB", 1, Lang::English, "+44", "@@# #@@", 9, " Ltd| Limited| & Co.",
     "London|Manchester|Bristol|Leeds|Edinburgh|Glasgow|Cardiff"},
    {"Ireland", "IE", 1, Lang::English, "+353", "", 3, " Ltd| Teoranta", "Dublin|Cork|Galway|Limerick"},
    {"Denmark", "DK", 1, Lang::Nordic, "+45", "####", 2, " A/S| ApS", "København|Aarhus|Odense|Aalborg"},
    {"Norway", "NO", 1, Lang::Nordic, "+47", "####", 3, " AS", "Oslo|Bergen|Trondheim|Tromsø|Stavanger"},
    {"Sweden", "SE", 1, Lang::Nordic, "+46", "### ##", 4, " AB", "Stockholm|Göteborg|Malmö|Uppsala|Linköping"},
    {"Finland", "FI", 1, Lang::Nordic, "+358", "#####", 2, " Oy| Oy Ab", "Helsinki|Espoo|Tampere|Turku|Oulu"},
    {"Iceland", "IS", 1, Lang::Nordic, "+354", "###", 1, " ehf.| hf.", "Reykjavík|Akureyri|Kópavogur"},
    {"Spain", "ES", 3, Lang::Spanish, "+34", "#####", 5, " S.L.| S.A.",
     "Madrid|Barcelona|Sevilla|Valencia|Málaga|Bilbao"},
    {"Portugal", "PT", 3, Lang::Portuguese, "+351", "####-###", 3, " Lda.| S.A.", "Lisboa|Porto|Coimbra|Braga|Faro"},
    {"Italy", "IT", 3, Lang::Italian, "+39", "#####", 6, " S.r.l.| S.p.A.",
     "Roma|Milano|Napoli|Torino|Bologna|Firenze|Genova"},
    {"Poland", "PL", 4, Lang::Slavic, "+48", "##-###", 4, " Sp. z o.o.| S.A.",
     "Warszawa|Kraków|Łódź|Wrocław|Gdańsk|Poznań"},
    {"Czechia", "CZ", 4, Lang::Slavic, "+420", "### ##", 2, " s.r.o.| a.s.",
     "Praha|Brno|Ostrava|Plzeň|České Budějovice"},
    {"United States", "US", 5, Lang::English, "+1", "#####", 16, " Inc.| LLC| Co.",
     "New York:NY|Seattle:WA|Chicago:IL|Austin:TX|Portland:OR|Boston:MA|Denver:CO|San Francisco:CA|"
     "Atlanta:GA|Minneapolis:MN"},
    {"Canada", "CA", 5, Lang::English, "+1", "@#@ #@#", 5, " Inc.| Ltd| Ltée",
     "Toronto:ON|Montréal:QC|Vancouver:BC|Calgary:AB|Ottawa:ON|Québec:QC|Halifax:NS"},
    {"Mexico", "MX", 6, Lang::Spanish, "+52", "#####", 3, " S.A. de C.V.",
     "Ciudad de México:CDMX|Guadalajara:Jalisco|Monterrey:Nuevo León|Puebla:Puebla|Mérida:Yucatán"},
    {"Brazil", "BR", 6, Lang::Portuguese, "+55", "#####-###", 5, " Ltda.| S.A.",
     "São Paulo:SP|Rio de Janeiro:RJ|Belo Horizonte:MG|Curitiba:PR|Porto Alegre:RS|Florianópolis:SC"},
    {"Argentina", "AR", 6, Lang::Spanish, "+54", "@####@@@", 2, " S.R.L.| S.A.",
     "Buenos Aires:CABA|Córdoba:Córdoba|Rosario:Santa Fe|Mendoza:Mendoza"},
    {"Australia", "AU", 7, Lang::English, "+61", "####", 4, " Pty Ltd",
     "Sydney:NSW|Melbourne:VIC|Brisbane:QLD|Perth:WA|Adelaide:SA|Hobart:TAS"},
    {"New Zealand", "NZ", 7, Lang::English, "+64", "####", 2, " Ltd", "Auckland|Wellington|Christchurch|Dunedin"},
    {"Japan", "JP", 7, Lang::Japanese, "+81", "###-####", 3, " K.K.| Co., Ltd.",
     "Tokyo|Osaka|Kyoto|Yokohama|Sapporo|Fukuoka"},
}};

inline constexpr std::array<std::string_view, 7> regions{
    "Northern Europe", "Western Europe", "Southern Europe", "Central and Eastern Europe",
    "North America",   "Latin America",  "Asia Pacific"};

struct Category {
    std::string_view name;
    std::string_view description; // empty: Null
    std::string_view products;    // ten product kinds
    std::string_view variants;    // three variants, cheapest first
    std::string_view packs;
    int minPriceCents;
    int maxPriceCents;
    int minGrams;
    int maxGrams;
};

inline constexpr std::array<Category, 10> categories{{
    {"Cookware", "Pots, pans and ovenware for hob and oven",
     "Cast Iron Skillet|Stainless Saucepan|Stockpot|Carbon Steel Wok|Dutch Oven|Sauté Pan|Griddle Pan|"
     "Roasting Tin|Milk Pan|Crêpe Pan",
     "20 cm|24 cm|28 cm", "1 piece", 1800, 12900, 800, 5500},
    {"Cutlery & Knives", "Kitchen knives, sharpeners and table cutlery",
     "Chef's Knife|Santoku Knife|Bread Knife|Paring Knife|Carving Set|Steak Knives|Whetstone|Honing Steel|"
     "Table Cutlery|Cheese Knife",
     "Classic|Pro|Damascus", "1 piece|set of 4|set of 6", 900, 18900, 90, 1400},
    {"Tableware", "Plates, bowls, glasses and serving dishes",
     "Dinner Plate|Side Plate|Pasta Bowl|Soup Bowl|Serving Platter|Wine Glass|Tumbler|Espresso Cup|Salad Bowl|"
     "Gravy Boat",
     "Porcelain|Stoneware|Enamel", "1 piece|set of 4|set of 6|box of 12", 450, 6900, 150, 2600},
    {"Small Appliances", "Kettles, toasters, mixers and other electric helpers",
     "Electric Kettle|Toaster|Stand Mixer|Hand Blender|Food Processor|Juicer|Waffle Iron|Rice Cooker|"
     "Sandwich Press|Milk Frother",
     "Compact|Standard|Deluxe", "1 piece", 1900, 34900, 500, 9000},
    {"Kitchen Textiles", "Aprons, tea towels, oven gloves and table linen",
     "Apron|Tea Towel|Oven Glove|Tablecloth|Napkin|Placemat|Pot Holder|Table Runner|Chef's Jacket|Bread Bag",
     "Cotton|Linen|Striped", "1 piece|pack of 2|set of 4", 390, 5900, 50, 800},
    {"Storage", "Jars, tins, boxes and containers for pantry and fridge",
     "Glass Jar|Spice Tin|Bread Bin|Lunch Box|Vacuum Canister|Flour Bin|Egg Holder|Herb Keeper|Ice Cube Tray|"
     "Bottle Rack",
     "Small|Medium|Large", "1 piece|set of 3|set of 6", 350, 4900, 80, 2200},
    {"Baking", "Tins, moulds, rolling pins and decorating tools",
     "Springform Tin|Loaf Tin|Muffin Tray|Rolling Pin|Pastry Brush|Cooling Rack|Piping Set|Baking Sheet|"
     "Tart Tin|Crème Brûlée Torch",
     "Standard|Non-stick|Professional", "1 piece|set of 2", 450, 5900, 60, 1600},
    {"Cleaning", "Brushes, cloths and detergents for the kitchen",
     "Dish Brush|Microfibre Cloth|Scouring Pad|Washing-up Liquid|Sponge Cloth|Drying Rack|Bottle Brush|"
     "Descaler|Oven Cleaner|Soap Dispenser",
     "Eco|Classic|Refill", "1 piece|pack of 3|pack of 10", 190, 3900, 30, 1800},
    {"Coffee & Tea", "Brewers, grinders, pots and cups",
     "French Press|Moka Pot|Pour-over Dripper|Burr Grinder|Teapot|Tea Infuser|Milk Jug|Coffee Canister|"
     "Tea Caddy|Travel Mug",
     "Black|Copper|Steel", "1 piece|set of 2", 690, 15900, 90, 2800},
    {"Gadgets", "",
     "Garlic Press|Salad Spinner|Mandoline Slicer|Can Opener|Kitchen Scale|Meat Thermometer|Citrus Squeezer|"
     "Pizza Cutter|Herb Scissors|Egg Timer",
     "Basic|Plus|Pro", "1 piece", 290, 7900, 40, 1500},
}};

inline constexpr std::string_view contactTitles =
    "Owner|Purchasing Manager|Buyer|Sales Agent|Accounting Manager|Marketing Manager|Store Manager";
inline constexpr std::string_view supplierTitles =
    "Sales Manager|Export Manager|Key Account Manager|Owner|Order Administrator";

// Remarks on orders; some carry a line break or a backslash on purpose.
inline constexpr std::array<std::string_view, 10> orderComments{
    "Deliver to the loading dock; call 15 minutes ahead.",
    "Customer's own carrier collects.",
    "Lieferung nur vormittags.",
    "Fragile — glassware, handle with care.",
    "Invoice to head office\nGoods to the branch store",
    "Ref. PO\\4711",
    "Partial delivery accepted.",
    "Livraison après 14 h s'il vous plaît.",
    "Gift wrap the \"Deluxe\" items.",
    "Repeat of last month's order.",
};

} // namespace sample::words
