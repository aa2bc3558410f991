#include "Texts.h"

#include <cerrno>

namespace qlon {

std::string_view HttpStatusTableText(int status) {
  if (status < 200 || status >= 600) return {};
  const int index = status % 100;
  switch (status / 100) {
    case 2: return TextAt(kHttpStatus200, index);
    case 3: return TextAt(kHttpStatus300, index);
    case 4: return TextAt(kHttpStatus400, index);
    default: return TextAt(kHttpStatus500, index);
  }
}

std::optional<TColHeader> DefaultColumn(int id) {
  if (id < 0 || static_cast<std::size_t>(id) >= kDefaultColumns.size()) return std::nullopt;
  const TDefaultColumn& c = kDefaultColumns[static_cast<std::size_t>(id)];
  return TColHeader{std::string(c.Caption), id, c.Width, c.Flags};
}

std::string SystemErrorText(int error) {
  switch (error) {
    case EACCES: return "Permission refusée";
    case EPERM: return "Opération non permise";
    case ENOENT: return "Aucun fichier ou dossier de ce nom";
    case ENOSPC: return "Plus d'espace disponible sur le disque";
    case EDQUOT: return "Quota de disque dépassé";
    case EROFS: return "Système de fichiers en lecture seule";
    case EISDIR: return "Un dossier porte ce nom";
    case ENOTDIR: return "Un élément du chemin n'est pas un dossier";
    case EEXIST: return "Le fichier existe déjà";
    case EIO: return "Erreur d'entrée-sortie";
    case ENAMETOOLONG: return "Nom de fichier trop long";
    case ELOOP: return "Trop de liens symboliques";
    case EMFILE:
    case ENFILE: return "Trop de fichiers ouverts";
    case EFBIG: return "Fichier trop gros";
    case ENOMEM: return "Mémoire insuffisante";
    case EBUSY: return "Périphérique ou ressource occupé";
    case EAGAIN: return "Ressource momentanément indisponible";
    case EINTR: return "Appel système interrompu";
    case EBADF: return "Descripteur de fichier invalide";
    case EINVAL: return "Argument invalide";
    case ENXIO:
    case ENODEV: return "Périphérique absent";
    case ETXTBSY: return "Fichier occupé";
    case ESTALE: return "Fichier distant disparu";
    case 0: return "Raison inconnue";
    default: return "Erreur système " + std::to_string(error);
  }
}

}  // namespace qlon
