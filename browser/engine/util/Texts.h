#pragma once
// The program's French texts (UTF-8), indexed by the enumerations of Types.h
// or by small codes. An index without text is an empty entry; a lookup
// outside a table gives an empty text, never a fault.
#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "Types.h"

namespace qlon {

template <std::size_t N>
using TextTable = std::array<std::string_view, N>;

template <std::size_t N>
constexpr std::string_view TextAt(const TextTable<N>& table, int index) {
  return index >= 0 && static_cast<std::size_t>(index) < N ? table[static_cast<std::size_t>(index)]
                                                           : std::string_view{};
}

// HTTP status texts, one table per status class, indexed by status - class base.
inline constexpr TextTable<7> kHttpStatus200 = {
    "Ok", "Crée", "Accepté", "Non autorisé", "Pas de contenu", "Contenu effacé", "Contenu partiel"};
inline constexpr TextTable<6> kHttpStatus300 = {
    "Choix multiple", "URL déplacée définitivement vers %s", "URL déplacée temporairement vers %s",
    "", "", "Il faut utiliser un proxy"};
inline constexpr TextTable<16> kHttpStatus400 = {
    "Mauvaise requête HTTP", "Non autorisé", "Paiement demandé", "Interdit", "Pas trouvé",
    "Méthode HTTP interdite", "Demande non acceptable", "Identification du proxy demandé",
    "Temps dépassé en requête", "Conflit", "Gone", "Taille souhaitée", "", "", "", ""};
inline constexpr TextTable<6> kHttpStatus500 = {
    "Erreur interne du serveur", "Commande HTTP non implementée", "Mauvaise passerelle",
    "Service non disponible", "Temps dépassé", "Version HTTP non supportée"};

// The text of an HTTP status (200..206, 300..305, 400..415, 500..505); empty otherwise.
std::string_view HttpStatusTableText(int status);

inline constexpr TextTable<11> kHttpErrorTexts = {
    "",
    "Déconnexion volontaire",
    "Nom de domaine inconnu",
    "La connexion a échouée pour une raison inconnu",
    "Temps dépassé",
    "Impossible de se connecter sur le proxy",
    "Erreur HTTP",
    "Erreur client HTTP",
    "Erreur serveur HTTP",
    "Réponse HTTP absente ou incomprise",
    "Erreur FTP"};
constexpr std::string_view HttpErrorText(int error) { return TextAt(kHttpErrorTexts, error); }

// Message box captions, by kind.
inline constexpr TextTable<6> kMessageCaptions = {
    "Erreur", "Erreur de connexion", "URL de départ", "Erreur du Proxy", "Erreur du protocole HTTP",
    "Erreur d'exception"};

// MIME categories 0..6: tree captions, and the names stored in MIME tables.
inline constexpr TextTable<7> kMimeCategoryTitles = {
    "Pages HTML", "Textes", "Images", "Sons", "Vidéos", "Autres", "Défaut"};
inline constexpr TextTable<7> kMimeCategoryNames = {
    "Html", "Texte", "Image", "Son", "Video", "Autre", "Defaut"};

inline constexpr TextTable<7> kHttpStateTexts = {
    "Inactif", "Fermé", "Recherche", "Connecté", "Requête", "Réception", "Erreur"};
constexpr std::string_view HttpStateText(int state) { return TextAt(kHttpStateTexts, state); }

// URL record states 0..21.
inline constexpr TextTable<22> kWebFileStateTexts = {
    "A capturer",
    "En cours de requête",
    "Récupéré",
    "",
    "En erreur",
    "Non trouvé",
    "A mettre à jour",
    "En cours de mise à jour",
    "Non filtré",
    "Filtré par défaut",
    "Filtré par l'utilisateur",
    "Filtré par le protocole",
    "Filtré par le type MIME",
    "Filtré par la taille",
    "Filtré par l'extension",
    "Filtré par le niveau d'exploration des webs externes",
    "Filtré par la limitation au répertoire spécifié dans le lien externe",
    "Filtré par le niveau d'exploration des liens internes",
    "Filtré par la limitation au répertoire spécifié dans l'URL de départ",
    "Filtré par le niveau d'exploration des liens externes",
    "Filtré par la liste d'exclusion",
    "Filtré par le nom de machine du domaine"};
// A retrieved record the last update found gone from the server.
inline constexpr const char* kGoneStateText = "Disparue du serveur, copie précédente conservée";

// Capture file load errors, by code 1..5 (0: none).
inline constexpr TextTable<6> kWebLoadErrorTexts = {
    "",
    "Erreur au chargement du Web!",
    "Ce n'est pas un fichier Web!",
    "Ce fichier web été crée par une version supérieur!",
    "Erreur a l'ouverture du fichier Web!",
    "Erreur en lecture du fichier Web!"};

// Capture wizard page hints.
inline constexpr TextTable<7> kWizardHints = {
    "Point de départ de votre capture.",
    "Choisissez l'endroit de stockage ainsi que la méthode.",
    "Sélectionner la méthode de capture.",
    "Comment explorer les Webs.",
    "Les types de documents à rapatrier.",
    "Limiter le volume de votre capture.",
    "Forcer ou Interdire l'exploration."};

inline constexpr TextTable<4> kThumbnailProgressTexts = {
    "Recherche des pages HTML...", "Chargement de la page...", "Création de la vignette...",
    "Chargement de la vignette..."};

// Search modes 0..4 and the prompt shown for each.
inline constexpr TextTable<5> kSearchModes = {
    "Rechercher des urls", "Rechercher les pages propriétaires d'une Url",
    "Rechercher dans les titres des pages", "Rechercher dans le contenu des pages",
    "Rechercher dans les titres et contenu des pages"};
inline constexpr TextTable<5> kSearchPrompts = {
    "Url à rechercher (les jockers * et ? sont acceptés) : ",
    "Lien à rechercher (les jockers * et ? sont acceptés) : ",
    "Mot clef à rechercher (les jockers * et ? sont acceptés) : ",
    "Mot clef à rechercher (les jockers * et ? sont acceptés) : ",
    "Mot clef à rechercher (les jockers * et ? sont acceptés) : "};

// Capture presets 0..7.
inline constexpr TextTable<8> kCapturePresets = {
    "Tout le site",
    "Toutes les images du site",
    "Toutes les pages et images du site",
    "Tout le répertoire",
    "Toutes les images du répertoire",
    "Toutes les pages et images du répertoire",
    "La première page seulement",
    "Plan du site (uniquement les pages HTML)"};

// Start-URL check messages.
inline constexpr TextTable<6> kUrlCheckMessages = {
    "Vous devez Indiquer l'url de départ de votre capture!",
    "Url correct",
    "Vous devez préciser le protocole (http:, ftp: ou file: )",
    "Le nom de domaine est incorrect",
    "Erreur de protocole",
    "Caractères invalides dans l'url"};

// Options dialog page hints.
inline constexpr TextTable<6> kOptionsHints = {
    "Vos préférences générales de configuration",
    "Paramétrer votre accès à Internet",
    "Sélectionner votre navigateur Web",
    "La mise en page de votre compte rendu de capture",
    "Contrôler l'enregistrement de vos données",
    "Configurer votre serveur proxy"};

// Page titles, by page code 0..37.
inline constexpr TextTable<38> kPageTitles = {
    "", "", "", "",
    "Préférences",             // 4
    "Serveur proxy",           // 5
    "Navigateur Web",          // 6
    "Connexion Internet",      // 7
    "Compte rendu",            // 8
    "Répertoires",             // 9
    "Options",                 // 10
    "Répertoires",             // 11
    "Type de capture",         // 12
    "Exploration",             // 13
    "Filtres",                 // 14
    "Types de fichiers",       // 15
    "Limitations de taille",   // 16
    "Autres options",          // 17
    "Capture (consultation)",  // 18
    "Capture (déroulement)",   // 19
    "Pages HTML",              // 20
    "Images",                  // 21
    "Sons",                    // 22
    "Vidéos",                  // 23
    "Autres documents",        // 24
    "Liens ignorés",           // 25
    "Liens en erreur",         // 26
    "",                        // 27
    "Images mappées",          // 28
    "",                        // 29
    "Recherche",               // 30
    "Aide",                    // 31
    "",                        // 32
    "Travaux en différé",      // 33
    "", "", "", ""};

// Progress texts while a URL list is filled, by list 0..6.
inline constexpr TextTable<7> kUrlListProgressTexts = {
    "Recherche des pages HTML...", "Recherche des documents...", "Recherche des Images...",
    "Recherche des sons...",       "Recherche des vidéos...",    "Recherche des liens en erreur...",
    "Recherche des liens filtrés..."};

// What the user can do about a filtered record, by record state 11..21.
inline constexpr int kFilterActionFirstState = 11;
inline constexpr TextTable<11> kFilterActionTexts = {
    "Rapatrier les documents FTP",                          // 11
    "Récupérer les documents %s",                           // 12
    "Modifier les limites de taille des documents",         // 13
    "",                                                     // 14
    "Changer le niveau d'exploration des Webs externes",    // 15
    "Ne plus se limiter au répertoire d'entrée %s ",        // 16
    "Changer le niveau d'exploration de liens internes",    // 17
    "Ne plus se limiter au répertoire d'entrée %s ",        // 18
    "Changer le niveau d'exploration de liens exterenes",   // 19
    "",                                                     // 20
    "Autoriser l'exploration des sites %s"};                // 21
constexpr std::string_view FilterActionText(int state) {
  return TextAt(kFilterActionTexts, state - kFilterActionFirstState);
}

// The default URL-list columns, by column id 0..10.
struct TDefaultColumn {
  std::string_view Caption;
  int Width;
  int Flags;
};
inline constexpr std::array<TDefaultColumn, 11> kDefaultColumns = {{
    {"URL", 200, kColDefault | kColWide},
    {"Titre", 150, kColDefault},
    {"Date", 100, kColDefault},
    {"Mime-Type", 80, kColDefault},
    {"Fichier", 100, kColDefault | kColWide},
    {"Taille", 70, kColDefault},
    {"L", 50, kColDefault},
    {"H", 50, kColDefault},
    {"Etat", 200, kColDefault},
    {"Image Map", 100, kColDefault},
    {"Page de référence", 200, kColDefault | kColWide},
}};
// The default column of an id; none outside 0..10.
std::optional<TColHeader> DefaultColumn(int id);

inline constexpr TextTable<6> kColumnMenuCaptions = {
    "Ordre de tri &croissant",
    "Ordre de tri &décroissant",
    "Déplacer la colonne vers la &gauche",
    "Déplacer la colonne vers la d&roite",
    "Supprimer la colonne",
    "Ajouter la colonne"};

// Scheduler task start kinds 0..5 and their schedule formats.
inline constexpr TextTable<6> kTaskStartKinds = {
    "",
    "Tous les mois",
    "Tous les jours",
    "Exceptionnellement",
    "Lorsque qu'une tâche est terminée",
    "Lorsque l'ordinateur est inactif"};
inline constexpr TextTable<6> kTaskScheduleFormats = {
    " ",
    " Tous les %d des mois de %s à %s",
    "Tous les %s à %s",
    "Le %s",
    "Lorsque la tâche %d est terminée",
    "Lorsque l'ordinateur est inactif depuis %d minutes"};

// Task journal texts by code 0..9, and the actions of a web task 0..3.
inline constexpr TextTable<10> kTaskJournalTexts = {
    "Démarrage de la tâche",
    "Arrêt de la tâche",
    "Chargement du web %s",
    "Démarrage de ",
    "Arrêt du travail",
    "Fermeture du web",
    "Ouverture de la communication",
    "Fermeture de la communication",
    "",
    "%s"};
inline constexpr TextTable<4> kWebTaskActions = {
    "Réinialisation", "Capture", "Mise à jour", "Résolution des liens"};

// Monday first.
inline constexpr TextTable<7> kDayNames = {
    "Lundi", "Mardi", "Mercredi", "Jeudi", "Vendredi", "Samedi", "Dimanche"};
inline constexpr TextTable<12> kMonthNames = {
    "Janvier", "Février", "Mars",      "Avril",   "Mai",      "Juin",
    "Juillet", "Août",    "Septembre", "Octobre", "Novembre", "Décembre"};

// Texts stored in fixed short strings: each fits its byte limit.
inline constexpr std::size_t kTaskStateTextLimit = 40;
inline constexpr TextTable<6> kTaskStateTexts = {
    "Inactif", "Initialisation", "Active", "En cours d'arrêt", "Suspendue", "En erreur"};
inline constexpr std::size_t kTaskErrorTextLimit = 80;
inline constexpr TextTable<9> kTaskErrorTexts = {
    "Aucune erreur",
    "Erreur de connexion ",
    "Erreur au chargement de Quillon",
    "Capture arrêtée pour une raison inconnue",
    "Quillon ne peux pas charger la capture",
    "Erreur au chargement du Web",
    "Erreur d'exception",
    "Erreur à l'enregistrement du Web",
    "Erreur sur l'Url"};
inline constexpr std::size_t kDialStateTextLimit = 50;
inline constexpr TextTable<12> kDialStateTexts = {
    "Ouverture du port..",
    "Port ouvert",
    "Numérotation...",
    "Attente de connexion",
    "Identification...",
    "L'identification à échoué...",
    "Ouverture d'une session sur le réseau...",
    "Attente de la réinitialisation du modem",
    "Nouvelle tentative d'identification",
    "Connection établie",
    "Déconnexion",
    "Mauvais Nom d'utilisteur ou mauvais mot de passe!"};

// The reason of a failed system call (an errno value) in French: the C
// library's own texts follow the machine's language, not the program's.
std::string SystemErrorText(int error);

// Web shortcut (".wbs") texts.
inline constexpr TextTable<2> kShortcutActionCaptions = {
    "Capturer ce web...", "Compte rendu de la capture..."};
inline constexpr TextTable<2> kShortcutActionHints = {
    "Lancer la capture du Web rapidement.", "Visualiser la page Sommaire dans votre navigateur."};
inline constexpr TextTable<4> kShortcutCaptureKinds = {
    "Capturer intégralement (avec réinitialisation du web)",
    "Finir la capture",
    "Mettre à jour",
    "Mettre à jour et finir la capture"};

}  // namespace qlon
